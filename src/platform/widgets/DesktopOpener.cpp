#include "DesktopOpener.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDesktopServices>

namespace brinmoor {

namespace {
constexpr char FileManagerService[] = "org.freedesktop.FileManager1";
// The file manager answers at once; the GUI thread must not wait long for
// one that hangs.
constexpr int ShowItemsTimeoutMs = 1000;
} // namespace

bool openWithDesktop(const QUrl &url)
{
    return QDesktopServices::openUrl(url);
}

bool showInFileManager(const QString &path)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    // A service that can be started on demand counts too.
    const QStringList activatable = bus.interface()->activatableServiceNames();
    if (!bus.interface()->isServiceRegistered(QLatin1String(FileManagerService)).value()
        && !activatable.contains(QLatin1String(FileManagerService)))
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(QLatin1String(FileManagerService),
                                                       QStringLiteral("/org/freedesktop/FileManager1"),
                                                       QLatin1String(FileManagerService), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
    const QDBusMessage reply = bus.call(call, QDBus::Block, ShowItemsTimeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage;
}

} // namespace brinmoor
