#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ui/pages/page.h"

namespace lumacore::testing {

// Captures the program's message boxes for the life of the object.
class MessageRecorder {
public:
    MessageRecorder();
    ~MessageRecorder();
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    const std::vector<std::pair<QString, QString>>& messages() const { return *messages_; }
    QStringList texts() const;

private:
    std::shared_ptr<std::vector<std::pair<QString, QString>>> messages_;
};

// Records the navigation requests of a page created without a home view.
class RecordingHost final : public ui::PageHost {
public:
    void PostNavigate(int pageKind, int mode) override { requests.emplace_back(pageKind, mode); }
    std::vector<std::pair<int, int>> requests;
};

// Takes the URLs the program hands to the desktop (QDesktopServices) instead of opening them.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    explicit UrlRecorder(const QString& scheme);
    ~UrlRecorder() override;
    QList<QUrl> urls;

public Q_SLOTS:
    void open(const QUrl& url) { urls.append(url); }

private:
    QString scheme_;
};

// The unpacked path of tests/fixtures/images/<name>.img.zst, as a std::string; fails the test run when the
// image is missing.
std::string FixtureImage(const std::string& name);

}  // namespace lumacore::testing
