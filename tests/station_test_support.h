#pragma once
// What the clone station's tests share: a simulated camera's memory as Camera->PC reads it.

#include "codecs/data_file.h"
#include "link/frames.h"
#include "sim_camera.h"

inline frames::ParamImage camera_image(sim::SimCamera& camera)
{
    frames::ParamImage image{};
    camera.with_model([&](sim::CameraModel& model) {
        for (std::size_t a = 0; a < data_file::kWords; ++a) image[a] = model.eeprom_word(a);
    });
    return image;
}
