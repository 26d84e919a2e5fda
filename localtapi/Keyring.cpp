// Keyring: one QtKeychain job at a time, waited for in a local event loop.
#include "localtapi/Keyring.h"

#include <QEventLoop>
#include <QTimer>
#include <qt6keychain/keychain.h>

namespace localtapi {

namespace {

// Runs the job until it finishes or limit passes. A job that outlives its wait deletes
// itself when it finishes at last; nothing then waits for it.
KeyringResult Run(QKeychain::Job* job, std::chrono::milliseconds limit) {
    job->setAutoDelete(false);
    job->setInsecureFallback(false);
    bool finished = false;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    const QMetaObject::Connection done = QObject::connect(job, &QKeychain::Job::finished, &loop, [&] {
        finished = true;
        loop.quit();
    });
    timer.start(limit);
    job->start();
    if (!finished)
        loop.exec();
    KeyringResult result;
    if (!finished) {
        QObject::disconnect(done);
        job->setAutoDelete(true);
        result.why = "no answer within " +
                     std::to_string(std::chrono::duration_cast<std::chrono::seconds>(limit).count()) + " s";
        return result;
    }
    switch (job->error()) {
    case QKeychain::NoError:
        result.outcome = KeyringResult::Outcome::Done;
        if (auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(job))
            result.secret = read->textData().toStdString();
        break;
    case QKeychain::EntryNotFound:
        result.outcome = KeyringResult::Outcome::NotFound;
        break;
    default:
        result.why = job->errorString().toStdString();
        if (result.why.empty())
            result.why = "error " + std::to_string(static_cast<int>(job->error()));
        break;
    }
    delete job;
    return result;
}

} // namespace

KeyringResult ReadSecret(const KeyringEntry& entry, std::chrono::milliseconds limit) {
    auto* job = new QKeychain::ReadPasswordJob(QString::fromStdString(entry.service));
    job->setKey(QString::fromStdString(entry.account));
    return Run(job, limit);
}

KeyringResult WriteSecret(const KeyringEntry& entry, const std::string& secret, std::chrono::milliseconds limit) {
    auto* job = new QKeychain::WritePasswordJob(QString::fromStdString(entry.service));
    job->setKey(QString::fromStdString(entry.account));
    job->setTextData(QString::fromStdString(secret));
    return Run(job, limit);
}

} // namespace localtapi
