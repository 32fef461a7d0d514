#include <QLabel>
#include <QPushButton>

#include "platform/forms/caption_characters.hpp"
#include "platform/forms/controls.hpp"
#include "platform/forms/exception.hpp"
#include "platform/forms/form.hpp"
#include "platform/forms/qt/caption_relay.hpp"
#include "platform/forms/qt/native_qt.hpp"

namespace {

// Room for the longest status text without a new allocation when a caption is replaced.
constexpr size_t kCaptionReserve = 64;

QWidget* ParentWindowOf(TForm& form) {
    QWidget* window = WidgetOf(form);
    if (window == nullptr) {
        throw Exception("A control must be owned by a form");
    }
    return window;
}

std::unique_ptr<TControl::Native, TControl::NativeDeleter> NativeOf(QWidget* widget) {
    return std::unique_ptr<TControl::Native, TControl::NativeDeleter>(new TControl::Native{widget});
}

std::unique_ptr<TControl::Native, TControl::NativeDeleter> NewLabelWidget(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);  // a caption is text, never markup
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(false);
    return NativeOf(label);
}

}  // namespace

void TControl::NativeDeleter::operator()(Native* native) const noexcept {
    // The form's window may already be gone (it deletes its child widgets with it).
    delete native->widget.data();
    delete native;
}

void TControl::SetBounds(int left, int top, int width, int height) {
    if (QWidget* widget = WidgetOf(*this)) {
        widget->setGeometry(left, top, width, height);
    }
}

int TControl::Left() const {
    return WidgetOf(*this) ? WidgetOf(*this)->x() : 0;
}
int TControl::Top() const {
    return WidgetOf(*this) ? WidgetOf(*this)->y() : 0;
}
int TControl::Width() const {
    return WidgetOf(*this) ? WidgetOf(*this)->width() : 0;
}
int TControl::Height() const {
    return WidgetOf(*this) ? WidgetOf(*this)->height() : 0;
}

bool TControl::Enabled() const {
    return WidgetOf(*this) ? WidgetOf(*this)->isEnabled() : false;
}

void TControl::SetEnabled(bool enabled) {
    if (QWidget* widget = WidgetOf(*this)) {
        widget->setEnabled(enabled);
    }
}

// ---- TLabel ---------------------------------------------------------------------------------

TLabel::TLabel(TComponent* AOwner)
    : TControl(AOwner, NewLabelWidget(ParentWindowOf(OwnerForm(AOwner)))) {
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

void TLabel::SetAutoSize(bool autoSize) {
    autoSize_ = autoSize;
    if (autoSize_ && WidgetOf(*this) != nullptr) {
        WidgetOf(*this)->adjustSize();
    }
}

void TLabel::ShowCaption() {
    auto* label = static_cast<QLabel*>(WidgetOf(*this));
    if (label == nullptr) {
        return;
    }
    QString text;
    {
        std::lock_guard lock(captionMutex_);
        text.resize(static_cast<qsizetype>(caption_.size()));
        for (std::size_t i = 0; i < caption_.size(); ++i) {
            text[static_cast<qsizetype>(i)] =
                QChar(CaptionCharacter(static_cast<unsigned char>(caption_[i])));
        }
    }
    label->setText(text);
    if (autoSize_) {
        label->adjustSize();
    }
}

// ---- TButton --------------------------------------------------------------------------------

TButton::TButton(TComponent* AOwner)
    : TControl(AOwner, NativeOf(new QPushButton(ParentWindowOf(OwnerForm(AOwner))))) {
    auto* button = static_cast<QPushButton*>(WidgetOf(*this));
    button->setAutoDefault(false);
    QObject::connect(button, &QPushButton::clicked, [this] {
        if (OnClick) {
            OnClick(this);
        }
    });
}

void TButton::SetCaption(std::string_view text) {
    if (auto* button = static_cast<QPushButton*>(WidgetOf(*this))) {
        button->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    }
}

std::string TButton::Caption() const {
    auto* button = static_cast<QPushButton*>(WidgetOf(*this));
    return button ? button->text().toStdString() : std::string();
}

void TButton::Click() {
    if (auto* button = static_cast<QPushButton*>(WidgetOf(*this))) {
        button->click();  // does nothing while the button is disabled
    }
}
