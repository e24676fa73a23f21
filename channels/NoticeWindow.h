#pragma once

#include "ChanelNotice.h"

#include <QObject>

#include <functional>

// The hidden window of a thread channel: a receiver on the GUI thread that
// hands every ChanelNotice posted to it to the channel's handler, in order.
class NoticeWindow : public QObject {
public:
    using Handler = std::function<void(const ChanelNotice& notice)>;

    explicit NoticeWindow(Handler handler) : FHandler(std::move(handler)) {}

    bool event(QEvent* e) override {
        const ChanelNotice* notice = ChanelNotice::From(e);
        if (notice == nullptr) {
            return QObject::event(e);
        }
        if (FHandler) {
            FHandler(*notice);
        }
        return true;
    }

private:
    Handler FHandler;
};
