#include "invite_operator_dialog.h"

#include "chat_call.h"
#include "flat_button.h"
#include "font_scaled.h"
#include "info_tips.h"
#include "message_box.h"
#include "user_directory.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QSvgRenderer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <array>

namespace olvex {

namespace {

constexpr int kNameColumn = 0;
constexpr int kStatusColumn = 1;
constexpr int kImageSide = 16;
constexpr int kImageScale = 2; // drawn at twice the size for high-density screens
constexpr int kListImageCount = 7;

// The list image strip the console's lists use, cut into its seven pictures.
// The strip is a resource of the program; where it is missing the rows go
// without pictures rather than fail.
const std::array<QIcon, kListImageCount>& ListImages() {
    static const std::array<QIcon, kListImageCount> images = [] {
        std::array<QIcon, kListImageCount> cut;
        QSvgRenderer renderer(QStringLiteral(":/icons/list_images.svg"));
        if (!renderer.isValid())
            return cut;
        const int side = kImageSide * kImageScale;
        QImage strip(kListImageCount * side, side, QImage::Format_ARGB32_Premultiplied);
        strip.fill(Qt::transparent);
        {
            QPainter painter(&strip);
            renderer.render(&painter);
        }
        for (int i = 0; i < kListImageCount; ++i) {
            QPixmap picture = QPixmap::fromImage(strip.copy(i * side, 0, side, side));
            picture.setDevicePixelRatio(kImageScale);
            cut[static_cast<size_t>(i)] = QIcon(picture);
        }
        return cut;
    }();
    return images;
}

// The OK and Cancel pictures: a green tick and a red cross on the mask
// colour, which the dialog button preset makes see-through.
QPixmap ButtonPicture(bool tick) {
    QPixmap picture(kImageSide, kImageSide);
    picture.fill(ImageMaskColour());
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing, false);
    if (tick) {
        p.setPen(QPen(QColor(0, 140, 0), 2.5, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
        QPainterPath path(QPointF(3, 8));
        path.lineTo(6.5, 12);
        path.lineTo(13, 4);
        p.drawPath(path);
    } else {
        p.setPen(QPen(QColor(200, 0, 0), 2.5, Qt::SolidLine, Qt::SquareCap));
        p.drawLine(QPointF(4, 4), QPointF(12, 12));
        p.drawLine(QPointF(12, 4), QPointF(4, 12));
    }
    return picture;
}

} // namespace

const char* InviteOperatorDialog::StatusText(int32_t status) {
    switch (status) {
    case 2:
        return "busy";
    case 3:
        return "away";
    default:
        return "online";
    }
}

int InviteOperatorDialog::StatusImage(int32_t status) {
    switch (status) {
    case 1:
        return 1;
    case 2:
    case 3:
        return 2;
    default:
        return 0;
    }
}

InviteOperatorDialog::InviteOperatorDialog(const UserDirectory& operators, int32_t ownUserId,
                                           QWidget* parent)
    : InviteOperatorDialog(operators.Snapshot(), ownUserId, parent) {}

InviteOperatorDialog::InviteOperatorDialog(
    const std::vector<std::shared_ptr<UserRecord>>& operators, int32_t ownUserId, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Olvex"));
    setWindowModality(Qt::WindowModal);

    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("operatorList"));
    list_->setAccessibleName(QStringLiteral("Operators"));
    list_->setColumnCount(2);
    list_->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Status")});
    list_->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    list_->header()->setStretchLastSection(false);
    list_->setColumnWidth(kNameColumn, 122);
    list_->setColumnWidth(kStatusColumn, 60);
    KeepColumnsWideForFont(*list_, {122, 60});
    list_->setRootIsDecorated(false);
    list_->setItemsExpandable(false);
    list_->setUniformRowHeights(true);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setAllColumnsShowFocus(true);
    list_->setIconSize(QSize(kImageSide, kImageSide));
    InstallInfoTips(*list_);

    ok_ = new FlatButton(QStringLiteral("OK"), this);
    ok_->setObjectName(QStringLiteral("okButton"));
    ApplyDialogPreset(*ok_, ButtonPicture(true));
    ok_->setDefault(true);
    ok_->setEnabled(false);
    cancel_ = new FlatButton(QStringLiteral("Cancel"), this);
    cancel_->setObjectName(QStringLiteral("cancelButton"));
    ApplyDialogPreset(*cancel_, ButtonPicture(false));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    buttons->addSpacing(6);
    buttons->addWidget(cancel_);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 8);
    layout->addWidget(list_, 1);
    layout->addLayout(buttons);
    // Wide enough for both columns without a horizontal scroll bar.
    ResizeForFont(*this, QSize(210, 230));

    connect(list_, &QTreeWidget::itemSelectionChanged, this,
            [this] { ok_->setEnabled(!list_->selectedItems().isEmpty()); });
    connect(ok_, &QAbstractButton::clicked, this, &InviteOperatorDialog::accept);
    connect(cancel_, &QAbstractButton::clicked, this, &QDialog::reject);

    Fill(operators, ownUserId);
}

void InviteOperatorDialog::Fill(const std::vector<std::shared_ptr<UserRecord>>& operators,
                                int32_t ownUserId) {
    list_->clear();
    const auto& images = ListImages();
    for (const auto& record : operators) {
        if (!record || record->userId == ownUserId)
            continue;
        // Texts come from the server: a tree item shows them as plain text.
        const QString name = QString::fromUtf8(record->firstName) + QLatin1Char(' ') +
                             QString::fromUtf8(record->lastName);
        auto* item = new QTreeWidgetItem;
        item->setText(kNameColumn, name);
        item->setData(kNameColumn, Qt::UserRole, record->userId);
        item->setIcon(kNameColumn, images[static_cast<size_t>(StatusImage(record->status))]);
        item->setText(kStatusColumn, QString::fromLatin1(StatusText(record->status)));
        // At the top, so the last of the directory comes first.
        list_->insertTopLevelItem(0, item);
    }
}

void InviteOperatorDialog::accept() {
    const QList<QTreeWidgetItem*> selected = list_->selectedItems();
    if (selected.isEmpty()) {
        ShowMessageBox(this,
                       QStringLiteral("You must select the user you want to invite to this call."));
        return;
    }
    chosenUserId_ = selected.first()->data(kNameColumn, Qt::UserRole).toInt();
    QDialog::accept();
}

int32_t RunInviteOperatorDialog(QWidget* parent, const UserDirectory& operators, int32_t ownUserId,
                                const CurrentCallFn& currentCall) {
    // On the heap: should the parent go while the dialog runs, it takes the dialog with it.
    QPointer<InviteOperatorDialog> dialog = new InviteOperatorDialog(operators, ownUserId, parent);
    const int result = ExecWindowModal(*dialog);
    if (!dialog)
        return 1;
    const int32_t chosen = dialog->ChosenUserId();
    delete dialog.data();
    if (result != QDialog::Accepted || chosen <= 0)
        return 1;
    const std::shared_ptr<ChatCall> call = currentCall ? currentCall() : nullptr;
    if (!call)
        return 1;
    return call->InviteOperator(chosen, "invitation");
}

} // namespace olvex
