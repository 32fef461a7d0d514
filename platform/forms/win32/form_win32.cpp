#include "form.hpp"

#include <windows.h>

#include "form_window.hpp"
#include "layout_loader.hpp"
#include "layout_resource.hpp"
#include "layout_text.hpp"
#include "wide_text.hpp"

// Ensures the application object exists before the first window does.
void EnsureApplicationObject();
// Lets the application drop its reference to a form being destroyed.
void ForgetForm(TForm* form);

TForm::TForm(TComponent* AOwner, std::string_view layoutResource)
    : TComponent(AOwner), layoutName_(layoutResource) {
    EnsureApplicationObject();
    window_ = CreateWindowExW(0, kFormWindowClass, L"", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                              GetModuleHandleW(nullptr), this);
    if (window_ == nullptr) {
        throw Exception("Cannot create the window of " + layoutName_ + ": Win32 error " +
                        std::to_string(GetLastError()));
    }
    try {
        LayoutObject layout = ParseLayoutText(ReadLayoutResource(layoutResource), layoutResource);
        LayoutLoader(*this).Load(layout);
    } catch (...) {
        // No destructor runs for a form whose construction failed: its window goes here.
        DestroyComponents();
        DestroyWindow(window_);
        if (font_ != nullptr) {
            DeleteObject(font_);
        }
        throw;
    }
}

TForm::~TForm() {
    ForgetForm(this);
    // Controls go first, while the window that holds them still exists.
    DestroyComponents();
    DestroyWindow(window_);
    if (font_ != nullptr) {
        DeleteObject(font_);  // no control uses it any more
    }
}

std::string TForm::Caption() const {
    const int length = GetWindowTextLengthW(window_);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(window_, text.data(), length + 1)));
    return Narrow(text);
}

int TForm::ClientWidth() const {
    RECT client{};
    GetClientRect(window_, &client);
    return client.right - client.left;
}

int TForm::ClientHeight() const {
    RECT client{};
    GetClientRect(window_, &client);
    return client.bottom - client.top;
}

void TForm::Show() {
    ShowWindow(window_, SW_SHOW);
    UpdateWindow(window_);
    // The control first in the focus order starts with the focus.
    TButton* first = nullptr;
    for (int i = 0; i < ComponentCount(); ++i) {
        auto* button = dynamic_cast<TButton*>(Components(i));
        if (button != nullptr && button->TabOrder() >= 0 &&
            (first == nullptr || button->TabOrder() < first->TabOrder())) {
            first = button;
        }
    }
    if (first != nullptr) {
        SetFocus(first->Handle());
    }
}

void TForm::Close() {
    SendMessageW(window_, WM_CLOSE, 0, 0);
}

bool TForm::Visible() const {
    return IsWindowVisible(window_) != 0;
}

void TForm::ShowPostedCaptions() {
    for (int i = 0; i < ComponentCount(); ++i) {
        if (auto* label = dynamic_cast<TLabel*>(Components(i))) {
            label->ShowPostedCaption();
        }
    }
}

void TForm::PublishEvent(std::string_view name, const TNotifyEvent& handler) {
    for (EventLink& link : events_) {
        if (link.handler == name) {
            link.button->OnClick = handler;
            link.published = true;
        }
    }
}

void TForm::CheckEventsPublished() const {
    for (const EventLink& link : events_) {
        if (!link.published) {
            throw Exception("Error reading layout " + layoutName_ + ": " + link.button->Name() +
                            ".OnClick names " + link.handler + ", which the form does not have");
        }
    }
}
