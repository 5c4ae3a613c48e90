#include "gui/gui_test_support.h"

#include <QDesktopServices>
#include <QSignalSpy>
#include <QThread>
#include <cstdio>
#include <cstdlib>

#include "integration/image_fixture.h"
#include "ui/shell.h"

namespace lumacore::testing {

MessageRecorder::MessageRecorder() : messages_(std::make_shared<std::vector<std::pair<QString, QString>>>()) {
    ui::SetMessageObserver([messages = messages_](const QString& caption, const QString& text) {
        messages->emplace_back(caption, text);
    });
}

MessageRecorder::~MessageRecorder() { ui::SetMessageObserver({}); }

QStringList MessageRecorder::texts() const {
    QStringList out;
    for (const auto& message : *messages_) out << message.second;
    return out;
}

UrlRecorder::UrlRecorder(const QString& scheme) : scheme_(scheme) {
    QDesktopServices::setUrlHandler(scheme_, this, "open");
}

UrlRecorder::~UrlRecorder() { QDesktopServices::unsetUrlHandler(scheme_); }

bool WaitIdle(ui::CPage& page, int timeoutMs) {
    if (!page.busy()) return true;
    QSignalSpy idle(&page, &ui::CPage::idle);
    return idle.wait(timeoutMs) || !page.busy();
}

void SlowDeviceMap::CloseGate() {
    const std::lock_guard<std::mutex> guard(lock_);
    gateClosed_ = true;
}

void SlowDeviceMap::OpenGate() {
    {
        const std::lock_guard<std::mutex> guard(lock_);
        gateClosed_ = false;
    }
    opened_.notify_all();
}

Result<std::vector<std::byte>> SlowDeviceMap::QueryStorageDescriptor(int drive) const {
    ++queries_;
    {
        ++waiting_;
        std::unique_lock<std::mutex> guard(lock_);
        opened_.wait(guard, [this] { return !gateClosed_; });
        --waiting_;
    }
    QThread::msleep(static_cast<unsigned long>(delay_.count()));
    return inner_->QueryStorageDescriptor(drive);
}

std::string FixtureImage(const std::string& name) {
    const auto path = ImageFixtures::Fixture(name);
    if (path.empty()) {
        std::fprintf(stderr, "fixture image %s is missing (is zstd installed?)\n", name.c_str());
        std::abort();
    }
    return path.string();
}

}  // namespace lumacore::testing
