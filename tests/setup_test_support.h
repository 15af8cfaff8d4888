#pragma once
// Helpers shared by the Setup page tests.

#include "support/window_fixture.h"

#include "pages/setup/setup_support.h"
#include "widgets/radio_group.h"

#include <QCheckBox>
#include <QComboBox>
#include <QSlider>

namespace setup_test {

// The value a control shows: item index, position or check state.
inline int shown(const QWidget* control)
{
    if (auto* g = qobject_cast<const RadioGroup*>(control)) return g->itemIndex();
    if (auto* s = qobject_cast<const QSlider*>(control)) return s->value();
    if (auto* c = qobject_cast<const QComboBox*>(control)) return c->currentIndex();
    if (auto* b = qobject_cast<const QCheckBox*>(control)) return b->isChecked() ? 1 : 0;
    ADD_FAILURE() << "not a setting control: " << control->objectName().toStdString();
    return -2;
}

// Changes a control as a user would: its change or click handler runs.
inline void set_shown(QWidget* control, int value)
{
    if (auto* g = qobject_cast<RadioGroup*>(control)) g->setItemIndex(value);
    else if (auto* s = qobject_cast<QSlider*>(control)) s->setValue(value);
    else if (auto* c = qobject_cast<QComboBox*>(control)) c->setCurrentIndex(value);
    else if (auto* b = qobject_cast<QCheckBox*>(control)) b->setChecked(value != 0);
}

// Runs a reply through the decoders as if it answered a command of class `command_class`.
inline void feed_reply(TFKR58& w, const Bytes& body, std::uint8_t command_class = 0x33)
{
    w.cmd_frame[1] = command_class;
    w.reply_frame.fill(0);
    for (std::size_t i = 0; i < body.size(); ++i) w.reply_frame[i + 1] = body[i];
    w.Trans_end();
}

// A setup group reply: code 0xA0, 0x50, the group, then the group's bytes.
inline Bytes group_reply(std::uint8_t group, const Bytes& data)
{
    Bytes body{0xA0, 0x50, group};
    body.insert(body.end(), data.begin(), data.end());
    return body;
}

inline sim::SetupState::Group sim_group(sim::SimCamera& camera, std::uint8_t group)
{
    return camera.with_model([group](sim::CameraModel& m) { return m.setup().group(group); });
}

inline void preset(sim::SimCamera& camera, std::uint8_t group, std::size_t index, std::uint8_t value)
{
    camera.with_model([&](sim::CameraModel& m) { m.setup().set_byte(group, index, value); });
}

} // namespace setup_test
