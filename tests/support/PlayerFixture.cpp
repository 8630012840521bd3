#include "support/PlayerFixture.h"

#include "picture/PictureLoader.h"
#include "picture/sandbox/DecodeHelperPool.h"

#include <QScreen>
#include <QTest>
#include <QTimer>

PlayerFixture::PlayerFixture(const QStringList& entries) {
    list.append(entries);
}

frmImage& PlayerFixture::open() {
    window = std::make_unique<frmImage>(world.context(), list, state);
    window->Form_Load();
    window->show();
    return *window;
}

frmImage& PlayerFixture::openStill() {
    open();
    window->Timer1->stop();
    // The window system maximizes the window on its own time.
    [&] {
        QTRY_COMPARE(window->frameGeometry(), window->screen()->availableGeometry());
    }();
    return *window;
}

void PlayerFixture::step() {
    window->ShowNextSlide();
    QTRY_COMPARE(window->Loader->pendingJobs(), 0);
}

QString PlayerFixture::caption() const {
    return window->windowTitle();
}

int PlayerFixture::messages() const {
    return static_cast<int>(world.prompter.messages.size());
}

void PlayerFixture::key(Qt::Key key, Qt::KeyboardModifiers modifiers) {
    QTest::keyClick(window.get(), key, modifiers);
}

QString playerCaption(const QString& path, const char* size, const char* direction) {
    return path + QLatin1Char(' ') + QLatin1String(size) + QLatin1Char(' ') +
           QLatin1String(direction);
}

SandboxedDecodes::SandboxedDecodes()
    : pool_(std::make_unique<DecodeHelperPool>()) {
    DecodeHelperPool::install(pool_.get());
}

SandboxedDecodes::~SandboxedDecodes() {
    DecodeHelperPool::install(nullptr);
}

bool SandboxedDecodes::used() const {
    return !pool_->unavailable() && !pool_->startedPids().isEmpty();
}
