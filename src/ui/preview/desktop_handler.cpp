#include "ui/preview/desktop_handler.h"

#include <QDesktopServices>
#include <QFile>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QTextStream>
#include <QUrl>

namespace lumacore::ui {

namespace {

// xdg-mime is a shell script; it answers in well under a second.
constexpr int kXdgMimeTimeoutMs = 3000;

QString DefaultFromXdgMime(const QString& mimeType) {
    const QString program = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (program.isEmpty()) return {};
    QProcess process;
    process.start(program, {QStringLiteral("query"), QStringLiteral("default"), mimeType});
    if (!process.waitForFinished(kXdgMimeTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// The desktop entries the desktop's own files name for the MIME type: the user's and the system's
// mimeapps.list defaults first, then mimeinfo.cache.
QStringList EntriesFromDesktopFiles(const QString& mimeType) {
    QStringList files;
    for (const QString& folder : QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation)) {
        files << folder + QStringLiteral("/mimeapps.list");
    }
    for (const QString& folder : QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation)) {
        files << folder + QStringLiteral("/mimeapps.list") << folder + QStringLiteral("/mimeinfo.cache");
    }
    QStringList entries;
    const QString key = mimeType + QLatin1Char('=');
    for (const QString& path : files) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) continue;
        QTextStream in(&file);
        QString section;
        while (!in.atEnd()) {
            const QString line = in.readLine().trimmed();
            if (line.startsWith(QLatin1Char('['))) section = line;
            if (section == QStringLiteral("[Removed Associations]") || !line.startsWith(key)) continue;
            for (const QString& entry : line.mid(key.size()).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
                entries << entry.trimmed();
            }
        }
    }
    return entries;
}

bool DesktopEntryExists(const QString& entry) {
    return !entry.isEmpty() && entry.endsWith(QStringLiteral(".desktop")) &&
           !QStandardPaths::locate(QStandardPaths::ApplicationsLocation, entry).isEmpty();
}

bool SystemHasApplication(const QString& fileName) {
    const QMimeType type = QMimeDatabase().mimeTypeForFile(fileName, QMimeDatabase::MatchExtension);
    if (!type.isValid() || type.isDefault()) return false;
    if (DesktopEntryExists(DefaultFromXdgMime(type.name()))) return true;
    for (const QString& entry : EntriesFromDesktopFiles(type.name())) {
        if (DesktopEntryExists(entry)) return true;
    }
    return false;
}

DesktopHandler& Slot() {
    static DesktopHandler handler = SystemDesktopHandler();
    return handler;
}

}  // namespace

DesktopHandler SystemDesktopHandler() {
    return {SystemHasApplication,
            [](const QString& path) { return QDesktopServices::openUrl(QUrl::fromLocalFile(path)); }};
}

const DesktopHandler& CurrentDesktopHandler() {
    return Slot();
}

void SetDesktopHandler(DesktopHandler handler) {
    Slot() = handler.hasApplication && handler.open ? std::move(handler) : SystemDesktopHandler();
}

}  // namespace lumacore::ui
