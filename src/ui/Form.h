#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <utility>

// Load, show and unload for one window class: the window is created and its
// Form_Load runs on first use, unloading destroys it, and the next use
// creates it afresh. Windows are created with WA_DeleteOnClose, so closing
// one from its frame unloads it too.
//
// Only setFactory and the typed accessors need the window's class complete,
// so a window's header can hold a Form of a class it only declares; its
// source file, which includes the class, hands in the factory.
template <class Window> class Form {
public:
    using Factory = std::function<Window*()>;

    Form() = default;
    explicit Form(Factory factory) { setFactory(std::move(factory)); }
    ~Form() { delete window_.data(); }
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    void setFactory(Factory factory) {
        create_ = [factory = std::move(factory)]() -> QWidget* {
            return factory();
        };
        loadWork_ = [](QWidget* widget) {
            if constexpr (requires(Window * w) { w->Form_Load(); })
                static_cast<Window*>(widget)->Form_Load();
        };
        unloadWork_ = [](QWidget* widget) {
            if constexpr (requires(Window * w) { w->Form_Unload(); })
                static_cast<Window*>(widget)->Form_Unload();
        };
    }
    bool hasFactory() const { return bool(create_); }

    bool isLoaded() const { return !window_.isNull(); }

    // The window, loading it first when it is not loaded; nullptr only when
    // no factory was handed in.
    QWidget* loadWidget() {
        if (window_.isNull() && create_) {
            QWidget* window = create_();
            window->setAttribute(Qt::WA_DeleteOnClose);
            window_ = window;
            loadWork_(window);
        }
        return window_.data();
    }
    Window* load() { return static_cast<Window*>(loadWidget()); }

    // Non-modal and without an owner; a window already on view only comes
    // to the front.
    QWidget* showWidget() {
        QWidget* window = loadWidget();
        if (!window)
            return nullptr;
        window->show();
        window->raise();
        window->activateWindow();
        return window;
    }
    Window* show() { return static_cast<Window*>(showWidget()); }

    // Runs the window's closing work (Form_Unload, when it has one) and
    // destroys it. Unloading a window that is not loaded does nothing.
    void unload() {
        if (window_.isNull())
            return;
        QWidget* window = window_.data();
        window_.clear();
        unloadWork_(window);
        window->hide();
        window->deleteLater();
    }

    // The window if it is loaded, else nullptr; never loads it.
    QWidget* getWidget() const { return window_.data(); }
    Window* get() const { return static_cast<Window*>(window_.data()); }

private:
    std::function<QWidget*()> create_;
    std::function<void(QWidget*)> loadWork_;
    std::function<void(QWidget*)> unloadWork_;
    QPointer<QWidget> window_;
};
