#include "agent_settings.h"

#include "product_info.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QTimer>
#include <fcntl.h>
#include <memory>
#include <qt6keychain/keychain.h>
#include <sys/stat.h>
#include <unistd.h>

namespace olvex {

namespace {

std::unique_ptr<QSettings> OpenStore(const QString& keyPath) {
    const qsizetype slash = keyPath.indexOf(QLatin1Char('/'));
    const QString organisation = slash < 0 ? keyPath : keyPath.left(slash);
    const QString application = slash < 0 ? QString() : keyPath.mid(slash + 1);
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, organisation,
                                       application);
}

// A stored text ends at its first zero character and keeps at most maxChars characters,
// never cutting a character in two.
void ReadText(const QSettings& store, const char* name, int maxChars, std::string& field) {
    const QVariant value = store.value(QLatin1String(name));
    if (!value.isValid())
        return;
    QString text = value.toString();
    const qsizetype zero = text.indexOf(QChar(0));
    if (zero >= 0)
        text.truncate(zero);
    if (text.size() > maxChars) {
        qsizetype cut = maxChars;
        if (text.at(cut - 1).isHighSurrogate())
            --cut;
        text.truncate(cut);
    }
    field = text.toStdString();
}

void ReadNumber(const QSettings& store, const char* name, int32_t& field) {
    const QVariant value = store.value(QLatin1String(name));
    if (!value.isValid())
        return;
    bool ok = false;
    const int number = value.toString().trimmed().toInt(&ok);
    if (ok)
        field = number;
}

// Only the user may read a file that holds a password, or list the folder it is in.
void MakePrivate(const QString& file) {
    const QString folder = QFileInfo(file).absolutePath();
    QDir().mkpath(folder);
    ::chmod(QFile::encodeName(folder).constData(), 0700);
    const QByteArray path = QFile::encodeName(file);
    // Created private before anything is written into it; later saves keep the mode.
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0)
        ::close(fd);
    ::chmod(path.constData(), 0600);
}

bool IsLooserThanPrivate(const QString& file) {
    struct stat info {};
    return ::stat(QFile::encodeName(file).constData(), &info) == 0 && (info.st_mode & 077) != 0;
}

} // namespace

struct AgentSettings::Secret {
    // What the secret store is known to hold for us, once a job has told.
    bool known = false;
    std::string stored;
};

AgentSettings::AgentSettings(QString path)
    : serverAddress(product::kDefaultServerAddress), keyPath(std::move(path)),
      secret(std::make_shared<Secret>()) {
    Load();
}

int32_t AgentSettings::Load() {
    const auto store = OpenStore(keyPath);
    // A file with junk in it still gives every value that can be read.
    if (store->status() == QSettings::AccessError)
        return -1;
    ReadText(*store, "ServerAddress", kMaxShortText, serverAddress);
    ReadText(*store, "Username", kMaxShortText, username);
    ReadText(*store, "Password", kMaxShortText, password);
    // A password left readable by others (an older version, a copied file) is shut away now.
    if (!password.empty() && IsLooserThanPrivate(store->fileName()))
        MakePrivate(store->fileName());
    ReadText(*store, "WelcomeMsg", kMaxWelcomeText, welcomeMsg);
    ReadNumber(*store, "ServerPort", serverPort);
    ReadNumber(*store, "SaveLogin", saveLogin);
    ReadNumber(*store, "AutoLogin", autoLogin);
    ReadNumber(*store, "AutoRun", autoRun);
    ReadNumber(*store, "Reconnect", reconnect);
    ReadNumber(*store, "ShowHints", showHints);
    ReadNumber(*store, "VisitorHints", visitorHints);
    ReadNumber(*store, "NotifyTimeout", notifyTimeout);
    ReadNumber(*store, "NotifySound", notifySound);
    ReadNumber(*store, "UseTls", useTls);
    ReadText(*store, "CaFile", kMaxPathText, caFile);
    ReadNumber(*store, "AutoAwayMinutes", autoAwayMinutes);
    ReadNumber(*store, "LineSound", lineSound);
    ReadNumber(*store, "VisitorSound", visitorSound);
    ReadNumber(*store, "HistoryDays", historyDays);
    if (serverOverridden) {
        storedAddress = serverAddress;
        storedPort = serverPort;
        serverAddress = overrideAddress;
        serverPort = overridePort;
    }
    return 0;
}

int32_t AgentSettings::Save() const {
    const auto store = OpenStore(keyPath);
    // Saving over a file with junk in it rewrites it clean; only an unwritable one fails.
    if (!store->isWritable() || store->status() == QSettings::AccessError)
        return -1;
    const bool keepStoredAddress = serverOverridden && serverAddress == overrideAddress;
    const bool keepStoredPort = serverOverridden && serverPort == overridePort;
    const auto text = [](const std::string& value) { return QString::fromStdString(value); };
    store->setValue(QStringLiteral("ServerAddress"),
                    text(keepStoredAddress ? storedAddress : serverAddress));
    store->setValue(QStringLiteral("Username"), text(username));
    // Where the secret store already holds this password the file need not.
    const bool remember = IsOn(saveLogin) && !password.empty();
    const bool inFile = remember && !(secret->known && secret->stored == password);
    if (inFile)
        MakePrivate(store->fileName());
    store->setValue(QStringLiteral("Password"), text(inFile ? password : std::string()));
    store->setValue(QStringLiteral("WelcomeMsg"), text(welcomeMsg));
    store->setValue(QStringLiteral("ServerPort"), keepStoredPort ? storedPort : serverPort);
    store->setValue(QStringLiteral("SaveLogin"), saveLogin);
    store->setValue(QStringLiteral("AutoLogin"), autoLogin);
    store->setValue(QStringLiteral("AutoRun"), autoRun);
    store->setValue(QStringLiteral("Reconnect"), reconnect);
    store->setValue(QStringLiteral("ShowHints"), showHints);
    store->setValue(QStringLiteral("VisitorHints"), visitorHints);
    store->setValue(QStringLiteral("NotifyTimeout"), notifyTimeout);
    store->setValue(QStringLiteral("NotifySound"), notifySound);
    store->setValue(QStringLiteral("UseTls"), useTls);
    store->setValue(QStringLiteral("CaFile"), text(caFile));
    store->setValue(QStringLiteral("AutoAwayMinutes"), autoAwayMinutes);
    store->setValue(QStringLiteral("LineSound"), lineSound);
    store->setValue(QStringLiteral("VisitorSound"), visitorSound);
    store->setValue(QStringLiteral("HistoryDays"), historyDays);
    store->sync();
    if (store->status() == QSettings::AccessError)
        return -1;

    const std::shared_ptr<Secret> state = secret;
    const QString file = store->fileName();
    if (remember && inFile) {
        // Moves the password from the file into the secret store; where none answers the
        // file keeps it.
        auto* job = new QKeychain::WritePasswordJob(SecretService());
        job->setKey(SecretKey());
        job->setTextData(text(password));
        QObject::connect(job, &QKeychain::Job::finished, job,
                         [state, file, saved = password](QKeychain::Job* done) {
                             if (done->error() != QKeychain::NoError)
                                 return;
                             state->known = true;
                             state->stored = saved;
                             QSettings store(file, QSettings::NativeFormat);
                             if (store.value(QStringLiteral("Password")).toString() ==
                                 QString::fromStdString(saved))
                                 store.setValue(QStringLiteral("Password"), QString());
                         });
        job->start();
    } else if (!remember && !(state->known && state->stored.empty())) {
        auto* job = new QKeychain::DeletePasswordJob(SecretService());
        job->setKey(SecretKey());
        QObject::connect(job, &QKeychain::Job::finished, job, [state](QKeychain::Job* done) {
            if (done->error() == QKeychain::NoError || done->error() == QKeychain::EntryNotFound) {
                state->known = true;
                state->stored.clear();
            }
        });
        job->start();
    }
    return 0;
}

void AgentSettings::ReadRememberedPassword(std::function<void()> then) {
    if (!IsOn(saveLogin) || !password.empty()) {
        QTimer::singleShot(0, [then = std::move(then)] { then(); });
        return;
    }
    auto* job = new QKeychain::ReadPasswordJob(SecretService());
    job->setKey(SecretKey());
    const std::shared_ptr<Secret> state = secret;
    QObject::connect(
        job, &QKeychain::Job::finished, job,
        [this, state, alive = lifetime.alive, then = std::move(then)](QKeychain::Job* done) {
            if (!*alive)
                return;
            if (done->error() == QKeychain::NoError) {
                const std::string found =
                    static_cast<QKeychain::ReadPasswordJob*>(done)->textData().toStdString();
                state->known = true;
                state->stored = found;
                // A password typed meanwhile wins.
                if (password.empty())
                    password = found;
            }
            then();
        });
    job->start();
}

void AgentSettings::OverrideServer(std::string address, int32_t port) {
    if (!serverOverridden) {
        storedAddress = serverAddress;
        storedPort = serverPort;
    }
    serverOverridden = true;
    overrideAddress = std::move(address);
    overridePort = port;
    serverAddress = overrideAddress;
    serverPort = overridePort;
}

} // namespace olvex
