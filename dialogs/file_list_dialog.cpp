#include "dialogs/file_list_dialog.h"

#include <QDir>
#include <QListWidget>
#include <QPushButton>
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "resources/dialog_units.h"

namespace voltina {
namespace {

bool endsWithWav(const std::string& name) {
    if (name.size() < 4) return false;
    std::string tail = name.substr(name.size() - 4);
    std::transform(tail.begin(), tail.end(), tail.begin(), [](unsigned char c) { return std::tolower(c); });
    return tail == ".wav";
}

QRect dlu(int x, int y, int w, int h) {
    const PixelRect r = DluRect{x, y, w, h}.toPixels();
    return QRect(r.x, r.y, r.width, r.height);
}

}  // namespace

std::vector<std::string> listDirectoryEntries(const std::string& directory, bool waveMode) {
    namespace fs = std::filesystem;
    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator it(directory.empty() ? fs::path(".") : fs::path(directory), ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) continue;
        const std::string name = it->path().filename().string();
        const bool matches = waveMode ? endsWithWav(name) : name.find('.') == std::string::npos;
        if (matches) names.push_back(name);
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const int c =
            QString::compare(QString::fromStdString(a), QString::fromStdString(b), Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return names;
}

FileListDialog::FileListDialog(QWidget* parent, int waveMode, const std::string& directory)
    : GatedDialog(parent),
      waveMode_(waveMode),
      list_(new QListWidget(this)),
      ok_(new QPushButton(QStringLiteral("OK"), this)),
      noWave_(new QPushButton(QStringLiteral("No wave"), this)),
      cancel_(new QPushButton(QStringLiteral("Cancel"), this)),
      otherFolder_(new QPushButton(QStringLiteral("Other folder..."), this)) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setModal(true);
    const QRect client = dlu(89, 12, 163, 242);
    setFixedSize(client.size());
    if (parent) move(parent->mapToGlobal(client.topLeft()));

    list_->setObjectName(QStringLiteral("list"));
    list_->setGeometry(dlu(6, 2, 153, 207));
    // Several columns that scroll sideways, as the old multi-column list box did.
    list_->setFlow(QListView::TopToBottom);
    list_->setWrapping(true);
    list_->setResizeMode(QListView::Adjust);
    // Each column as wide as its own longest name: uniform item sizes would give every column the width
    // of one name and cut or blank the others.
    list_->setUniformItemSizes(false);
    list_->setTextElideMode(Qt::ElideNone);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);

    ok_->setObjectName(QStringLiteral("ok"));
    noWave_->setObjectName(QStringLiteral("noWave"));
    cancel_->setObjectName(QStringLiteral("cancel"));
    ok_->setGeometry(dlu(6, 221, 50, 14));
    noWave_->setGeometry(dlu(61, 221, 41, 14));
    cancel_->setGeometry(dlu(107, 221, 50, 14));
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &FileListDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &FileListDialog::reject);
    connect(noWave_, &QPushButton::clicked, this, [this] { done(kResultNoWave); });
    otherFolder_->setObjectName(QStringLiteral("otherFolder"));
    connect(otherFolder_, &QPushButton::clicked, this, [this] { done(kResultOtherFolder); });
    connect(list_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem*) {
        takeSelection();
        done(kResultOk);
    });

    if (waveMode_ == 1) {
        setWindowTitle(QStringLiteral("Chargement Wave"));
        noWave_->show();
        otherFolder_->hide();
    } else {
        setWindowTitle(QStringLiteral("Chargement Configuration"));
        if (!directory.empty()) QDir::setCurrent(QString::fromStdString(directory));
        noWave_->hide();
        // Patches kept elsewhere than the folder Voltina started in (a launcher starts it at home).
        ok_->setGeometry(dlu(6, 221, 44, 14));
        otherFolder_->setGeometry(dlu(54, 221, 55, 14));
        cancel_->setGeometry(dlu(113, 221, 44, 14));
    }
    list_->setAccessibleName(windowTitle());
    for (const std::string& name : listDirectoryEntries(QDir::currentPath().toStdString(), waveMode_ == 1)) {
        list_->addItem(QString::fromStdString(name));
    }
    // The entry the keys move to is the one chosen, so Enter opens it; the list opens on its first.
    connect(list_, &QListWidget::currentItemChanged, this, [](QListWidgetItem* item, QListWidgetItem*) {
        if (item) item->setSelected(true);
    });
    if (list_->count() > 0) list_->setCurrentRow(0);
    list_->setFocus();
}

void FileListDialog::takeSelection() {
    chosen_.clear();
    const QList<QListWidgetItem*> chosen = list_->selectedItems();
    if (!chosen.isEmpty()) chosen_ = chosen.first()->text().toStdString();
}

void FileListDialog::accept() {
    takeSelection();
    done(kResultOk);
}

void FileListDialog::reject() {
    done(kResultCancel);
}

}  // namespace voltina
