// The form's look: fonts, colours and pictures of the design.
#include "LookupComboBox.h"
#include "MaskEdit.h"
#include "TFConversao.h"
#include "conversion/RejectionList.h"

#include <QDirIterator>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTableView>
#include <algorithm>

namespace ui {

namespace {
// The design's fonts are Windows faces; the style hint picks the nearest sans-serif face the
// platform has when they are missing.
QFont sansSerif(const QString& family, int points, bool bold) {
    QFont font(family, points, bold ? QFont::Bold : QFont::Normal);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

void makeBold(QWidget* control) {
    QFont font = control->font();
    font.setBold(true);
    control->setFont(font);
}
} // namespace

void TFConversao::applyLook() {
    setFont(sansSerif(QStringLiteral("MS Sans Serif"), 8, false));

    QPalette header = Panel1->palette();
    header.setColor(QPalette::Window, header.color(QPalette::Base));
    Panel1->setPalette(header);
    Panel1->setFont(sansSerif(QStringLiteral("Verdana"), 8, true));
    ImgLogo->setPixmap(QPixmap(QStringLiteral(":/images/logo.png")));
    // The menu entry's icon, so that the taskbar shows the same picture as the menu.
    QIcon icon;
    QDirIterator sizes(QStringLiteral(":/images/icons/hicolor"), {QStringLiteral("*.png")},
                       QDir::Files, QDirIterator::Subdirectories);
    while (sizes.hasNext())
        icon.addFile(sizes.next());
    setWindowIcon(icon);

    QPalette title = Label1->palette();
    title.setColor(QPalette::Window, title.color(QPalette::Midlight));
    title.setColor(QPalette::WindowText, QColor(0x80, 0x00, 0x00));
    Label1->setPalette(title);
    Label1->setAutoFillBackground(true);
    // A substitute face may run wider than the design's; the title grows to the right rather
    // than lose its last letters.
    const int titleWidth = Label1->fontMetrics().horizontalAdvance(Label1->text()) + 2;
    if (titleWidth > Label1->width())
        Label1->resize(titleWidth, Label1->height());

    for (QWidget* control :
         {static_cast<QWidget*>(GroupBox1), static_cast<QWidget*>(GroupBox2),
          static_cast<QWidget*>(GroupBox3), static_cast<QWidget*>(DtInventa),
          static_cast<QWidget*>(CodEmpresa), static_cast<QWidget*>(MostraEmpresa),
          static_cast<QWidget*>(CodCausa), static_cast<QWidget*>(MostraCausa)})
        makeBold(control);
    GroupBox1->setFlat(true);
    GroupBox2->setFlat(true);
    // Labels are as tall as their text, so that each lines up with the field beside it, and
    // end a few pixels before that field (which starts about 62 pixels into the group box): a
    // bold substitute face can run wider than the design's.
    constexpr int LabelsEnd = 59;
    for (QGroupBox* group : {GroupBox1, GroupBox2})
        for (QLabel* label : group->findChildren<QLabel*>()) {
            label->adjustSize();
            label->move(std::min(label->x(), LabelsEnd - label->width()), label->y());
        }

    for (QTableView* grid : {ProdutosNaoEncontrados, StringGrid1}) {
        QHeaderView* header = grid->horizontalHeader();
        header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        // As with the title: the code column grows rather than cut its header.
        const int margin = grid->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
        const int headerWidth =
            header->fontMetrics().horizontalAdvance(conversion::RejectionList::codeHeader()) +
            2 * margin + 2;
        grid->setColumnWidth(0, std::max(grid->columnWidth(0), headerWidth));
    }
    // Only the caption of the path group is bold, not the path.
    edtCaminho->setFont(font());

    btAbrir->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    btAbrir->setToolTip(QStringLiteral("Abrir"));
    btAbrir->setAccessibleName(QStringLiteral("Abrir"));
    btOK->setIcon(style()->standardIcon(QStyle::SP_DialogApplyButton));
    btSimular->setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
    btHistorico->setIcon(style()->standardIcon(QStyle::SP_FileDialogDetailedView));
    btNaoContados->setIcon(style()->standardIcon(QStyle::SP_FileDialogListView));
    btnSalvar->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    BitBtn2->setIcon(style()->standardIcon(QStyle::SP_ArrowBack));
    BitBtn3->setIcon(style()->standardIcon(QStyle::SP_ArrowBack));

    if (const QScreen* shown = screen())
        move(shown->availableGeometry().center() - rect().center());
}

} // namespace ui
