#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <utility>

// Load, show and unload for one window class: the window is created and its
// Form_Load runs on first use, unloading destroys it, and the next use
// creates it afresh. Windows are created with WA_DeleteOnClose, so closing
// one from its frame unloads it too.
template <class Window> class Form {
public:
    using Factory = std::function<Window*()>;

    explicit Form(Factory factory)
        : factory_(std::move(factory)) {}
    ~Form() { delete window_.data(); }
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    bool isLoaded() const { return !window_.isNull(); }

    // The window, loading it first when it is not loaded.
    Window* load() {
        if (window_.isNull()) {
            Window* window = factory_();
            window->setAttribute(Qt::WA_DeleteOnClose);
            window_ = window;
            if constexpr (requires { window->Form_Load(); })
                window->Form_Load();
        }
        return window_.data();
    }

    // Non-modal and without an owner; a window already on view only comes
    // to the front.
    Window* show() {
        Window* window = load();
        window->show();
        window->raise();
        window->activateWindow();
        return window;
    }

    // Runs the window's closing work (Form_Unload, when it has one) and
    // destroys it. Unloading a window that is not loaded does nothing.
    void unload() {
        if (window_.isNull())
            return;
        Window* window = window_.data();
        window_.clear();
        if constexpr (requires { window->Form_Unload(); })
            window->Form_Unload();
        window->hide();
        window->deleteLater();
    }

    // The window if it is loaded, else nullptr; never loads it.
    Window* get() const { return window_.data(); }

private:
    Factory factory_;
    QPointer<Window> window_;
};
