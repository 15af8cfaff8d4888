#pragma once
// The simulated camera's memory and command set: given one complete unit received on the line (an
// 18-byte command frame or the 2053-byte parameter block) it returns the bytes the camera answers.
//
// Memory model:
//  - parameter memory: 1024 16-bit words, the camera's EEPROM. The parameter block and the
//    EEPROM commands both write it; it survives a reset.
//  - registers: 256 16-bit DSP/timing-generator registers (addresses 0x00..0xFF). At power-on
//    and at every reset register r is loaded from parameter word r.
//
// Adding a command: write one handler member function and add one row to the table in
// CameraModel::find_handler, or, for a page's own commands, to that page's finder
// (find_<page>_handler in sim/<page>_commands.cpp), which find_handler asks first.

#include "bytes.h"
#include "link/frames.h"
#include "debug_state.h"
#include "defect_state.h"
#include "lens_state.h"
#include "service_state.h"
#include "setup_state.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace sim {

constexpr std::uint8_t kClassWrite = 0x23;
constexpr std::uint8_t kClassRead = 0x33;
constexpr std::uint8_t kReplyRefused = 0x21;

constexpr std::size_t kRegisterCount = 256;
constexpr std::size_t kParamWords = 1024;

constexpr std::uint8_t kRegResolution = 0x01; // bit 14 set: Hi-Resolution
constexpr std::uint8_t kRegTvSystem = 0x40;   // bit 0 set: PAL, clear: NTSC
constexpr std::uint16_t kResolutionHiBit = 0x4000;
constexpr std::uint16_t kTvSystemPalBit = 0x0001;

class CameraModel {
public:
    CameraModel();

    // The camera's answer to one complete unit; empty when it does not answer.
    Bytes answer(std::span<const std::uint8_t> unit);

    // Returns every register and the whole parameter memory to the built-in factory image.
    void restore_factory_image();
    // What the camera does at a reset command: registers reloaded, parameter memory kept.
    void power_on_reset();
    // The reset command taken: counted, and the camera restarts as power_on_reset.
    void restart();

    std::uint16_t register_value(std::uint8_t addr) const { return registers_[addr]; }
    void set_register(std::uint8_t addr, std::uint16_t value) { registers_[addr] = value; }
    std::uint16_t eeprom_word(std::size_t addr) const { return params_.at(addr); }
    void set_eeprom_word(std::size_t addr, std::uint16_t value) { params_.at(addr) = value; }
    // The parameter memory is the EEPROM: word k of the block is EEPROM word k.
    std::uint16_t param_word(std::size_t k) const { return params_.at(k); }

    // Switches the TV system in the register and in its parameter word, so it survives a reset.
    void set_pal(bool pal);
    bool is_pal() const { return (registers_[kRegTvSystem] & kTvSystemPalBit) != 0; }
    void set_hi_resolution(bool hi);
    bool is_hi_resolution() const { return (registers_[kRegResolution] & kResolutionHiBit) != 0; }

    std::uint8_t camera_id() const { return camera_id_; }
    void set_camera_id(std::uint8_t id) { camera_id_ = id; }

    // Front-panel keys pressed remotely, oldest first.
    const std::vector<std::uint8_t>& key_presses() const { return key_presses_; }
    int reset_count() const { return reset_count_; }

    // The Setup page's settings.
    SetupState& setup() { return setup_; }
    const SetupState& setup() const { return setup_; }

    // Handler outcome: answer with the (possibly refused) reply frame, or stay silent.
    enum class Outcome { Answer, Silent };
    using Handler = Outcome (CameraModel::*)(const frames::Frame& command, frames::Frame& reply);

private:
    static std::optional<Handler> find_handler(std::uint8_t command_class, std::uint8_t sub);

    // ---- Copy page commands (copy_commands.cpp) ----
    static std::optional<Handler> find_copy_handler(std::uint8_t command_class, std::uint8_t sub);

public:
    // Seeds the filler of the factory parameter memory and restores the factory image, so that
    // two simulated cameras can hold different memory. Seed 0 is the built-in image.
    // Seed N > 0 also names the camera "CAM<N>" in its factory title (seed 0: "CAM 1").
    void set_seed(std::uint32_t seed);
    std::uint32_t seed() const { return seed_; }

    // A fresh camera of the same type, as the next one on a line: its own memory and title from
    // `seed`, but this one's TV system, sensor, sync input, COMM ID, memory fault and product.
    CameraModel another_camera(std::uint32_t seed) const;
    // Another camera (as another_camera) that was written with the same file before: it holds
    // this one's parameter memory except the last word, which stays its own, as does its title;
    // a unit of a product was written keeping its own words, which stay its own too.
    CameraModel written_alike(std::uint32_t seed) const;

    // Units of one product: each holds the product's memory (what set_seed(seed) gives a camera of
    // its own) except the words own_first..own_last, which every unit has of its own (its
    // calibration and identity), filled from the unit's seed as set_seed fills them.
    struct Product {
        std::uint32_t seed = 0;
        std::size_t own_first = 0;
        std::size_t own_last = 0;
    };
    // This camera, and every one another_camera makes from it, becomes a unit of `product`, the
    // unit chosen by its seed; restores the factory image. nullopt: a camera of its own again.
    void set_product(std::optional<Product> product);
    const std::optional<Product>& product() const { return product_; }

    // Fault: a memory cell that does not take writes. The parameter block and the EEPROM word
    // writes are acknowledged as usual but leave this word as it was. nullopt: no such cell.
    void set_unwritten_word(std::optional<std::size_t> address) { unwritten_word_ = address; }
    std::optional<std::size_t> unwritten_word() const { return unwritten_word_; }

private:
    // Every write to parameter memory from the line goes through here, so the fault above holds.
    void store_param(std::size_t addr, std::uint16_t value);

    std::uint32_t seed_ = 0;
    std::optional<std::size_t> unwritten_word_;
    std::optional<Product> product_;
    // ---- end of Copy page commands ----

    // ---- Debug page commands (debug_commands.cpp) ----
    static std::optional<Handler> find_debug_handler(std::uint8_t command_class, std::uint8_t sub);
    Outcome read_ram(const frames::Frame& command, frames::Frame& reply);
    Outcome write_ram(const frames::Frame& command, frames::Frame& reply);
    Outcome read_area_sample(const frames::Frame& command, frames::Frame& reply);
    Outcome read_agc_data(const frames::Frame& command, frames::Frame& reply);
    Outcome read_wdr_data(const frames::Frame& command, frames::Frame& reply);
    Outcome read_shutter_data(const frames::Frame& command, frames::Frame& reply);
    Outcome read_wb_input(const frames::Frame& command, frames::Frame& reply);
    Outcome write_osd_test(const frames::Frame& command, frames::Frame& reply);
public:
    // The Debug page's side of the camera: RAM, OSD test value, live read-outs.
    DebugState& debug() { return debug_; }
    const DebugState& debug() const { return debug_; }
private:
    // ---- end of Debug page commands ----

    // ---- CCD Defect page commands (defect_commands.cpp) ----
    static std::optional<Handler> find_defect_handler(std::uint8_t command_class, std::uint8_t sub);
    Outcome defect_write(const frames::Frame& command, frames::Frame& reply);
    Outcome defect_read(const frames::Frame& command, frames::Frame& reply);

public:
    // The defect table, the search and the cursor.
    DefectState& defect() { return defect_; }
    const DefectState& defect() const { return defect_; }

private:
    // ---- end of CCD Defect page commands ----

    // ---- Lens Adjust page commands (lens_commands.cpp) ----
    static std::optional<Handler> find_lens_handler(std::uint8_t command_class, std::uint8_t sub);
    Outcome lens_auto_start(const frames::Frame& command, frames::Frame& reply);
    Outcome lens_read_level(const frames::Frame& command, frames::Frame& reply);
    Outcome lens_read_offset(const frames::Frame& command, frames::Frame& reply);
    Outcome lens_write_offset(const frames::Frame& command, frames::Frame& reply);
    Outcome lens_read_delays(const frames::Frame& command, frames::Frame& reply);
    Outcome lens_write_delays(const frames::Frame& command, frames::Frame& reply);

public:
    // The DC lens and the timing delays.
    LensState& lens() { return lens_; }
    const LensState& lens() const { return lens_; }

private:
    // ---- end of Lens Adjust page commands ----

    // ---- Menu keys and service commands (service_commands.cpp) ----
    static std::optional<Handler> find_service_handler(std::uint8_t command_class, std::uint8_t sub);
    Outcome write_preset(const frames::Frame& command, frames::Frame& reply);
    Outcome write_wdr_test(const frames::Frame& command, frames::Frame& reply);
    Outcome read_wdr_test(const frames::Frame& command, frames::Frame& reply);

public:
    // Presets stored and the WDR test mode and shutter number last written.
    ServiceState& service() { return service_; }
    const ServiceState& service() const { return service_; }

private:
    // ---- end of menu keys and service commands ----

    Bytes answer_frame(const frames::Frame& command);
    Bytes answer_block(std::span<const std::uint8_t> block);

    Outcome read_register(const frames::Frame& command, frames::Frame& reply);
    Outcome write_register_and_eeprom(const frames::Frame& command, frames::Frame& reply);
    Outcome write_register_only(const frames::Frame& command, frames::Frame& reply);
    Outcome read_eeprom(const frames::Frame& command, frames::Frame& reply);
    Outcome write_eeprom(const frames::Frame& command, frames::Frame& reply);
    Outcome write_eeprom_and_ram(const frames::Frame& command, frames::Frame& reply);
    Outcome press_key(const frames::Frame& command, frames::Frame& reply);
    Outcome reset(const frames::Frame& command, frames::Frame& reply);
    Outcome read_setup_group(const frames::Frame& command, frames::Frame& reply);
    Outcome read_title_block(const frames::Frame& command, frames::Frame& reply);
    Outcome read_mask_rect(const frames::Frame& command, frames::Frame& reply);
    Outcome write_setting(const frames::Frame& command, frames::Frame& reply);

    std::array<std::uint16_t, kRegisterCount> registers_{};
    std::array<std::uint16_t, kParamWords> params_{};
    std::uint8_t camera_id_ = 1;
    std::vector<std::uint8_t> key_presses_;
    int reset_count_ = 0;
    SetupState setup_;
    DebugState debug_;
    DefectState defect_;
    LensState lens_;
    ServiceState service_;
};

} // namespace sim
