#include "dialogs/help_window.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStringDecoder>
#include <QTextCursor>
#include <QTimerEvent>
#include <cerrno>
#include <cstring>
#include <utility>

#include "resources/artwork.h"
#include "resources/dialog_units.h"

namespace voltina {

namespace {

QRect dlu(int x, int y, int w, int h) {
    const PixelRect r = DluRect{x, y, w, h}.toPixels();
    return QRect(r.x, r.y, r.width, r.height);
}

struct IconSlot {
    int id;
    int pictureId;
    int x, y;  // dialog units
};
// Each icon keeps its picture as it travels: the arrow drawn for the corner it starts from.
constexpr IconSlot kIconSlots[4] = {
    {help::kIconTopLeft, 6006, 3, 5},
    {help::kIconTopRight, 6005, 254, 6},
    {help::kIconBottomRight, 6007, 254, 193},
    {help::kIconBottomLeft, 6008, 3, 193},
};
constexpr int kIconPixels = 32;

// Opened for reading only: an installed help file is usually read-only, and the window never writes it.
// The first of `paths` that opens as a regular file; -1 when none does, with one line per path tried in
// `why` (the path and the reason).
int openHelpFile(const std::vector<std::string>& paths, std::string& why) {
    why.clear();
    for (const std::string& path : paths) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        const std::string reason = std::strerror(errno);
        if (!why.empty()) why += '\n';
        if (fd < 0) {
            why += path + ": " + reason;
            continue;
        }
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) return fd;
        ::close(fd);
        why += path + ": not a regular file";
    }
    return -1;
}

// Up to `n` bytes, as many as the file has; a read error counts as the end.
std::size_t readFully(int fd, char* out, std::size_t n) {
    std::size_t have = 0;
    while (have < n) {
        const ssize_t got = ::read(fd, out + have, n - have);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        have += static_cast<std::size_t>(got);
    }
    return have;
}

}  // namespace

std::vector<std::string> helpFilePaths() {
    std::vector<std::string> paths{kHelpFileName};
    if (QCoreApplication::instance() != nullptr) {
        const QString beside =
            QDir(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/voltina"))
                .absoluteFilePath(QString::fromLatin1(kHelpFileName));
        paths.push_back(QDir::cleanPath(beside).toStdString());
    }
#ifdef VOLTINA_DATA_DIR
    paths.push_back(std::string(VOLTINA_DATA_DIR) + "/" + kHelpFileName);
#endif
    return paths;
}

void readHelpPieces(int fd, const std::function<void(const std::string& piece)>& append) {
    for (;;) {
        char piece[kHelpPieceBytes + 2] = {};
        const std::size_t got = readFully(fd, piece, kHelpPieceBytes);
        append(std::string(piece, ::strnlen(piece, got)));
        if (got < static_cast<std::size_t>(kHelpPieceBytes)) return;
    }
}

QString helpDisplayText(const std::string& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = utf8.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (utf8.hasError()) decoded = QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QString shown;
    shown.reserve(decoded.size());
    for (qsizetype i = 0; i < decoded.size(); ++i) {
        const QChar c = decoded[i];
        if (c == QLatin1Char('\r') && i + 1 < decoded.size() && decoded[i + 1] == QLatin1Char('\n')) {
            shown += QLatin1Char('\n');
            ++i;
        } else if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            shown += QLatin1Char(' ');
        } else {
            shown += c;
        }
    }
    return shown;
}

HelpWindow::HelpWindow(QWidget* parent, std::function<void()> renderGate, std::vector<std::string> helpPaths)
    : QDialog(parent),
      renderGate_(std::move(renderGate)),
      helpPaths_(std::move(helpPaths)),
      text_(new QPlainTextEdit(this)),
      ok_(new QPushButton(QStringLiteral("OK"), this)),
      icons_{} {
    setupWindow();
    loadHelpText();
    timer_.start(kHelpArrowPeriodMs, Qt::PreciseTimer, this);
}

void HelpWindow::setupWindow() {
    // A bordered popup without a caption bar.
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setModal(true);
    setWindowTitle(QString::fromUtf8(kProgramTitle));
    // About the size of the old 8-point dialog font, so that the help text's lines fit the field.
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(11);
    setFont(font);
    const QRect window = dlu(44, 19, 275, 218);
    setFixedSize(window.size());
    if (parentWidget() != nullptr) move(parentWidget()->mapToGlobal(window.topLeft()));

    auto* border = new QFrame(this);
    border->setFrameStyle(QFrame::Panel | QFrame::Raised);
    border->setLineWidth(2);
    border->setGeometry(rect());
    border->lower();

    text_->setObjectName(QStringLiteral("text"));
    text_->setGeometry(dlu(24, 5, 227, 185));
    text_->setReadOnly(true);
    text_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    text_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    text_->setFrameStyle(QFrame::Box | QFrame::Plain);
    text_->setAccessibleName(QStringLiteral("Help"));

    ok_->setObjectName(QStringLiteral("ok"));
    ok_->setGeometry(dlu(24, 193, 227, 20));
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);

    const qreal ratio = devicePixelRatioF();
    for (int k = 0; k < 4; ++k) {
        const IconSlot& slot = kIconSlots[k];
        auto* label = new QLabel(this);
        label->setObjectName(QStringLiteral("icon%1").arg(slot.id));
        label->setPixmap(renderArtwork(slot.pictureId, ratio));
        label->setAccessibleName(QStringLiteral("Arrow"));
        // A static icon control takes the icon's size at its template position.
        label->setGeometry(QRect(dlu(slot.x, slot.y, 0, 0).topLeft(), QSize(kIconPixels, kIconPixels)));
        icons_[k] = label;
    }
    ok_->setFocus();
}

void HelpWindow::loadHelpText() {
    std::string why;
    const int fd = openHelpFile(helpPaths_, why);
    if (fd < 0) {
        QWidget* owner = dialogOwner() != nullptr ? dialogOwner() : parentWidget();
        QMessageBox box(QMessageBox::Information, QString::fromUtf8(kProgramTitle),
                        QStringLiteral("Impossible to open %1").arg(QString::fromLatin1(kHelpFileName)),
                        QMessageBox::Ok, owner);
        box.setInformativeText(QString::fromStdString(why));
        box.exec();
        return;
    }
    // Pieces are gathered before they are shown, so that a carriage return and line feed pair split
    // between two pieces still breaks the line.
    std::string bytes;
    readHelpPieces(fd, [&bytes](const std::string& piece) { bytes += piece; });
    ::close(fd);
    text_->setPlainText(helpDisplayText(bytes));
    // The caret ends after the text, as each piece was added at the caret; the view stays at the top.
    QTextCursor end = text_->textCursor();
    end.movePosition(QTextCursor::End);
    text_->setTextCursor(end);
    text_->verticalScrollBar()->setValue(0);
}

QLabel* HelpWindow::icon(int id) const {
    for (int k = 0; k < 4; ++k) {
        if (kIconSlots[k].id == id) return icons_[k];
    }
    return nullptr;
}

bool HelpWindow::event(QEvent* e) {
    if (renderGate_) renderGate_();
    return QDialog::event(e);
}

void HelpWindow::timerEvent(QTimerEvent* e) {
    if (e->timerId() == timer_.timerId()) {
        turnArrows();
        return;
    }
    QDialog::timerEvent(e);
}

void HelpWindow::turnArrows() {
    // Each icon takes the corner of the next one clockwise; the first corner is noted before it is left.
    const QPoint topLeft = icons_[0]->pos();
    for (int k = 0; k < 3; ++k) icons_[k]->move(icons_[k + 1]->pos());
    icons_[3]->move(topLeft);
}

void HelpWindow::done(int result) {
    timer_.stop();
    QDialog::done(result);
}

int runHelpWindow(QWidget* parent, std::function<void()> renderGate) {
    HelpWindow window(parent, std::move(renderGate));
    return window.exec();
}

}  // namespace voltina
