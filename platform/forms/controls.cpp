#include "controls.hpp"

#include <QLabel>
#include <QPointer>
#include <QPushButton>

#include "caption_relay.hpp"
#include "exception.hpp"
#include "form.hpp"

namespace {
// Room for the longest status text without a new allocation when a caption is replaced.
constexpr size_t kCaptionReserve = 64;
}  // namespace

struct TControl::Handle {
    QPointer<QWidget> widget;
};

TControl::TControl(TComponent* AOwner, QWidget* widget)
    : TComponent(AOwner), handle_(std::make_unique<Handle>()) {
    handle_->widget = widget;
}

TControl::~TControl() {
    // The form's window may already be gone (it deletes its child widgets with it).
    delete handle_->widget.data();
}

QWidget* TControl::ParentWindowOf(TComponent* AOwner) {
    auto* form = dynamic_cast<TForm*>(AOwner);
    if (form == nullptr || form->Widget() == nullptr) {
        throw Exception("A control must be owned by a form");
    }
    return form->Widget();
}

QWidget* TControl::Widget() const noexcept {
    return handle_->widget.data();
}

void TControl::SetBounds(int left, int top, int width, int height) {
    if (QWidget* widget = Widget()) {
        widget->setGeometry(left, top, width, height);
    }
}

int TControl::Left() const {
    return Widget() ? Widget()->x() : 0;
}
int TControl::Top() const {
    return Widget() ? Widget()->y() : 0;
}
int TControl::Width() const {
    return Widget() ? Widget()->width() : 0;
}
int TControl::Height() const {
    return Widget() ? Widget()->height() : 0;
}

bool TControl::Enabled() const {
    return Widget() ? Widget()->isEnabled() : false;
}

void TControl::SetEnabled(bool enabled) {
    if (QWidget* widget = Widget()) {
        widget->setEnabled(enabled);
    }
}

// ---- TLabel ---------------------------------------------------------------------------------

namespace {
QLabel* NewLabelWidget(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);  // a caption is text, never markup
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(false);
    return label;
}
}  // namespace

TLabel::TLabel(TComponent* AOwner) : TControl(AOwner, NewLabelWidget(ParentWindowOf(AOwner))) {
    caption_.reserve(kCaptionReserve);
}

TLabel::~TLabel() {
    CaptionRelay::Instance().Forget(this);
}

void TLabel::SetCaption(std::string_view text) {
    {
        std::lock_guard lock(captionMutex_);
        caption_.assign(text);
    }
    CaptionRelay& relay = CaptionRelay::Instance();
    if (relay.OnWindowThread()) {
        ShowCaption();
    } else {
        relay.Post(this);
    }
}

std::string TLabel::Caption() const {
    std::lock_guard lock(captionMutex_);
    return caption_;
}

void TLabel::SetAutoSize(bool autoSize) {
    autoSize_ = autoSize;
    if (autoSize_ && Widget() != nullptr) {
        Widget()->adjustSize();
    }
}

void TLabel::ShowCaption() {
    auto* label = static_cast<QLabel*>(Widget());
    if (label == nullptr) {
        return;
    }
    QString text;
    {
        std::lock_guard lock(captionMutex_);
        text = QString::fromUtf8(caption_.data(), static_cast<qsizetype>(caption_.size()));
    }
    label->setText(text);
    if (autoSize_) {
        label->adjustSize();
    }
}

// ---- TButton --------------------------------------------------------------------------------

TButton::TButton(TComponent* AOwner) : TControl(AOwner, new QPushButton(ParentWindowOf(AOwner))) {
    auto* button = static_cast<QPushButton*>(Widget());
    button->setAutoDefault(false);
    QObject::connect(button, &QPushButton::clicked, [this] {
        if (OnClick) {
            OnClick(this);
        }
    });
}

void TButton::SetCaption(std::string_view text) {
    if (auto* button = static_cast<QPushButton*>(Widget())) {
        button->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    }
}

std::string TButton::Caption() const {
    auto* button = static_cast<QPushButton*>(Widget());
    return button ? button->text().toStdString() : std::string();
}

void TButton::Click() {
    if (auto* button = static_cast<QPushButton*>(Widget())) {
        button->click();  // does nothing while the button is disabled
    }
}
