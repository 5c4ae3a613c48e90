#include "gui/gui_test_support.h"

#include <QDesktopServices>
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

std::string FixtureImage(const std::string& name) {
    const auto path = ImageFixtures::Fixture(name);
    if (path.empty()) {
        std::fprintf(stderr, "fixture image %s is missing (is zstd installed?)\n", name.c_str());
        std::abort();
    }
    return path.string();
}

}  // namespace lumacore::testing
