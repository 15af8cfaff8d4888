#include "station_window/retest_question.h"

#include "widgets/dialogs.h"

#include <chrono>
#include <future>
#include <memory>

namespace station_window {

RetestQuestion::RetestQuestion(QObject* context, QString caption) : context_(context), caption_(std::move(caption)) {}

bool RetestQuestion::ask(int port, const QString& serial, const QString& master_name)
{
    constexpr auto kPoll = std::chrono::milliseconds(50);
    auto answer = std::make_shared<std::promise<bool>>();
    std::future<bool> answered = answer->get_future();
    const QString text = QStringLiteral("COM%1: camera %2 passed with %3 before.\n\nWrite it again?")
                             .arg(port)
                             .arg(serial, master_name);
    QMetaObject::invokeMethod(
        context_, [answer, text, caption = caption_] { answer->set_value(dialogs().confirm(text, caption)); },
        Qt::QueuedConnection);
    while (answered.wait_for(kPoll) != std::future_status::ready)
        if (cancelled_) return false;
    return answered.get();
}

} // namespace station_window
