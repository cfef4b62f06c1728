#include "dialogs/entry_dialog.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <algorithm>
#include <cctype>

#include "engine/frequency_text.h"

namespace voltina {

EntryLayout entryDialogLayout(int captionLength, int maxLength) {
    const int a = 8 * maxLength;
    const int b = a + 48;
    const int c = 8 * captionLength + 40;
    EntryLayout l;
    l.width = std::max(150, std::min(640, std::max(b, c)));
    const int w = l.width;
    l.frame = QRect(4, 4, w - 18, 27);
    l.edit = QRect(w / 2 - b / 2 + 10, 6, a + 19, 23);
    l.ok = QRect(4, 36, 64, 40);
    l.cancel = QRect(w - 78, 36, 64, 40);
    return l;
}

EntryDialog::EntryDialog(QWidget* parent, const std::string& caption, std::string* text, int maxLength)
    : GatedDialog(parent),
      entryText_(text),
      entryMaxLen_(maxLength),
      frame_(new QFrame(this)),
      edit_(new QLineEdit(this)),
      ok_(new QPushButton(QStringLiteral("OK"), this)),
      cancel_(new QPushButton(QStringLiteral("Cancel"), this)) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setModal(true);
    frame_->setFrameStyle(QFrame::Box | QFrame::Plain);
    frame_->setAutoFillBackground(true);
    frame_->setBackgroundRole(QPalette::Mid);
    edit_->setObjectName(QStringLiteral("edit"));
    edit_->setMaxLength(maxLength);
    ok_->setObjectName(QStringLiteral("ok"));
    cancel_->setObjectName(QStringLiteral("cancel"));
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &EntryDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &EntryDialog::reject);
    setupWindow(caption);
}

void EntryDialog::setupWindow(const std::string& caption) {
    const QString title = QString::fromStdString(caption);
    setWindowTitle(title);
    // A screen reader names the field by what it asks for.
    edit_->setAccessibleName(title);
    const EntryLayout l = entryDialogLayout(static_cast<int>(title.size()), entryMaxLen_);
    const int clientWidth = l.width - 2 * kDialogBorder;
    const int clientHeight = kEntryWindowHeight - 2 * kDialogBorder - kDialogCaptionBar;
    setFixedSize(clientWidth, clientHeight);
    move(320 - l.width / 2, 220);
    frame_->setGeometry(l.frame);
    edit_->setGeometry(l.edit);
    ok_->setGeometry(l.ok);
    cancel_->setGeometry(l.cancel);
    frame_->lower();
    edit_->setText(QString::fromStdString(entryText_ ? *entryText_ : std::string()));
    edit_->setFocus();
}

void EntryDialog::setPrompt(std::function<std::string(const std::string&)> describe) {
    describe_ = std::move(describe);
    if (!prompt_) {
        prompt_ = new QLabel(this);
        prompt_->setObjectName(QStringLiteral("prompt"));
        // Two lines above everything else: the window grows by their height.
        const int lift = 2 * fontMetrics().lineSpacing() + 8;
        for (QWidget* w : {static_cast<QWidget*>(frame_), static_cast<QWidget*>(edit_),
                           static_cast<QWidget*>(ok_), static_cast<QWidget*>(cancel_)})
            w->move(w->x(), w->y() + lift);
        connect(edit_, &QLineEdit::textChanged, this, &EntryDialog::showPrompt);
        showPrompt();
        const int width = std::max(this->width(), prompt_->sizeHint().width() + 16);
        setFixedSize(width, height() + lift);
        prompt_->setGeometry(8, 4, width - 16, lift - 4);
        const int shift = (width - frame_->width() - 18) / 2;
        for (QWidget* w : {static_cast<QWidget*>(frame_), static_cast<QWidget*>(edit_)})
            w->move(w->x() + shift, w->y());
        cancel_->move(width - 72, cancel_->y());
    }
    showPrompt();
}

void EntryDialog::showPrompt() {
    if (!prompt_ || !describe_) return;
    const QString text = QString::fromStdString(describe_(edit_->text().toStdString()));
    prompt_->setText(text);
    // A screen reader reads it with the field.
    edit_->setAccessibleDescription(text);
}

void EntryDialog::accept() {
    if (entryText_) {
        *entryText_ = edit_->text().left(entryMaxLen_).toStdString();
    }
    done(kResultOk);
}

void EntryDialog::reject() {
    done(kResultCancel);
}

bool runNameDialog(std::string& buffer, const std::string& caption, int maxLength, QWidget* parent) {
    std::string typed = buffer;
    EntryDialog dialog(parent, caption, &typed, maxLength);
    if (dialog.exec() != kResultOk) return false;
    buffer = typed;
    return true;
}

bool runFrequencyDialog(float& value, const std::string& caption, int maxLength, QWidget* parent) {
    std::string text = formatFrequency(value);
    for (;;) {
        if (!runNameDialog(text, caption, maxLength, parent)) return false;
        double hertz = 0;
        std::string problem;
        if (readTypedFrequency(text, hertz, problem)) {
            value = static_cast<float>(hertz);
            return true;
        }
        QMessageBox box(QMessageBox::Information, QString::fromUtf8(kProgramTitle),
                        QString::fromStdString(problem), QMessageBox::Ok, parent);
        box.setInformativeText(QStringLiteral("Type a number of hertz, such as 440, 1.5 or 1,5."));
        box.exec();
    }
}

bool readTypedFrequency(const std::string& text, double& hertz, std::string& problem) {
    QString t = QString::fromStdString(text).trimmed();
    if (t.endsWith(QStringLiteral("hz"), Qt::CaseInsensitive)) t = t.chopped(2).trimmed();
    if (t.count(QLatin1Char(',')) == 1 && !t.contains(QLatin1Char('.')))
        t.replace(QLatin1Char(','), QLatin1Char('.'));
    const std::string plain = t.toStdString();
    // Only plain decimal notation: "inf", "nan" and hexadecimal are not frequencies.
    const bool decimal = !plain.empty() && plain.find_first_not_of("0123456789.eE+-") == std::string::npos &&
                         plain.find_first_of("0123456789") != std::string::npos;
    bool ok = false;
    const double v = decimal ? QLocale::c().toDouble(t, &ok) : 0.0;
    if (!ok) {
        problem = "\"" + text + "\" is not a frequency.";
        return false;
    }
    if (!(v > 0.0)) {
        problem = t.toStdString() + " Hz is not a frequency an oscillator can play: it must be above 0.";
        return false;
    }
    hertz = v;
    return true;
}

double leadingNumber(const std::string& text) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    auto digit = [&](std::size_t k) { return k < n && std::isdigit(static_cast<unsigned char>(text[k])); };
    while (i < n && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    const std::size_t start = i;
    if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t digits = 0;
    while (digit(i)) ++i, ++digits;
    if (i < n && text[i] == '.') {
        ++i;
        while (digit(i)) ++i, ++digits;
    }
    if (digits == 0) return 0.0;
    std::size_t end = i;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t k = i + 1;
        if (k < n && (text[k] == '+' || text[k] == '-')) ++k;
        if (digit(k)) {
            while (digit(k)) ++k;
            end = k;
        }
    }
    bool ok = false;
    const double v = QLocale::c().toDouble(QString::fromStdString(text.substr(start, end - start)), &ok);
    return ok ? v : 0.0;
}

}  // namespace voltina
