#include "jobs/JobHandOver.h"

#include "jobs/JobQueue.h"
#include "support/Errors.h"
#include "support/FileSafety.h"
#include "support/ProdInfo.h"
#include "support/QtPaths.h"
#include "support/RegLib.h"

#include <QCryptographicHash>
#include <QLocalServer>
#include <QLocalSocket>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include <unistd.h>

namespace zarvex {

namespace {

const QByteArray EndOfJob = "[end]\n";
const QByteArray Accepted = "ok";
constexpr int ReplyWaitMs = 10000;

// Another user's program, or one with other settings, never takes the job.
QString ServerName() {
    const QByteArray folder = QCryptographicHash::hash(QByteArray::fromStdString(QueueFileName()),
                                                       QCryptographicHash::Sha1)
                                  .toHex()
                                  .left(12);
    return QString("zarvex-jobs-%1-%2").arg(::getuid()).arg(QString::fromLatin1(folder));
}

// A socket file left by a program that ended without closing it does not count.
bool SomeoneListens(const QString& name) {
    QLocalSocket probe;
    probe.connectToServer(name);
    return probe.waitForConnected(1000);
}

} // namespace

// Beside the settings file, in a folder that may hold other programs' settings too.
std::string QueueFileName() {
    return LocalPath(SettingsFolder() + "/" +
                     QString::fromStdString(ProductInfo.SettingsApplication) + "-jobs.txt");
}

std::string ReadQueueFile() {
    std::ifstream in(QueueFileName(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteQueueFile(const std::string& text) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(QueueFileName()).parent_path(), ec);
    ReplaceFileWith(QueueFileName(), text);
}

TJobHandOverServer::TJobHandOverServer(QObject* parent)
    : QObject(parent), FServer(new QLocalServer(this)) {
    FServer->setSocketOptions(QLocalServer::UserAccessOption);
    const QString name = ServerName();
    if (!FServer->listen(name) && !SomeoneListens(name)) {
        QLocalServer::removeServer(name);
        FServer->listen(name);
    }
    connect(FServer, &QLocalServer::newConnection, this, &TJobHandOverServer::Accept);
}

bool TJobHandOverServer::Listening() const {
    return FServer->isListening();
}

void TJobHandOverServer::Accept() {
    while (QLocalSocket* socket = FServer->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto text = std::make_shared<QByteArray>();
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, text] {
            *text += socket->readAll();
            if (!text->endsWith(EndOfJob))
                return;
            const std::optional<TJobOrder> order = JobFromText(text->toStdString());
            std::string reason = !order  ? "The job was not understood."
                                 : OnJob ? OnJob(*order)
                                         : "The main window takes no jobs.";
            for (char& c : reason)
                c = c == '\n' ? ' ' : c;
            socket->write(reason.empty() ? Accepted + "\n"
                                         : QByteArray::fromStdString(reason + "\n"));
            socket->flush();
            socket->disconnectFromServer();
        });
    }
}

THandOver HandJobOver(const TJobOrder& order) {
    QLocalSocket socket;
    socket.connectToServer(ServerName());
    if (socket.waitForConnected(1000)) {
        socket.write(QByteArray::fromStdString(JobToText(order)) + EndOfJob);
        QByteArray reply;
        while (!reply.endsWith('\n') && socket.waitForReadyRead(ReplyWaitMs))
            reply += socket.readAll();
        reply = (reply + socket.readAll()).trimmed();
        if (reply == Accepted)
            return THandOver::Queued;
        throw EZarvexError(reply.isEmpty() ? "The main window did not answer."
                                           : reply.toStdString());
    }
    TJobQueue kept({});
    kept.LoadText(ReadQueueFile());
    kept.Add(order);
    WriteQueueFile(kept.SaveText());
    return THandOver::Kept;
}

} // namespace zarvex
