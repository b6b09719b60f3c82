#include "ReviewWindow.h"

#include "TableLook.h"

#include "Dialogs.h"
#include "conversion/RunReport.h"
#include "db/Regional.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <vector>

namespace ui {

ReviewWindow::ReviewWindow(ReviewModel* model, const QString& destination, QWidget* parent)
    : QDialog(parent)
    , m_model(model)
    , m_filter(new ReviewFilter(this)) {
    setObjectName(QStringLiteral("Revisao"));
    setWindowTitle(QStringLiteral("Conferência antes de gravar"));
    setWindowModality(Qt::WindowModal);
    model->setParent(this);
    m_filter->setSourceModel(model);

    auto* intro = new QLabel(
        QStringLiteral("Simulação: nada foi gravado. Confira o que o arquivo fará e escolha "
                       "Gravar ou Descartar."),
        this);
    intro->setWordWrap(true);
    auto* target = new QLabel(destination, this);
    target->setObjectName(QStringLiteral("Destino"));
    target->setWordWrap(true);
    target->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_show = new QComboBox(this);
    m_show->setObjectName(QStringLiteral("Mostrar"));
    m_show->addItem(QStringLiteral("Todas as linhas"), int(ReviewFilter::Show::All));
    if (model->mode() == ReviewModel::Mode::Inventory) {
        m_show->addItem(QStringLiteral("Só diferenças"), int(ReviewFilter::Show::Differences));
        m_show->addItem(QStringLiteral("Não contados"), int(ReviewFilter::Show::Uncounted));
    }
    m_show->addItem(QStringLiteral("Só rejeitadas"), int(ReviewFilter::Show::Refused));
    auto* showLabel = new QLabel(QStringLiteral("&Mostrar:"), this);
    showLabel->setBuddy(m_show);
    connect(m_show, &QComboBox::currentIndexChanged, this, [this] {
        m_filter->setShow(static_cast<ReviewFilter::Show>(m_show->currentData().toInt()));
        showValueTotals();
    });

    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("Tabela"));
    m_table->setAccessibleName(QStringLiteral("Conferência"));
    m_table->setModel(m_filter);
    // Sorting starts from the model's order: products as the file first reads them, then the
    // refused readings and passed-over lines by line.
    m_table->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    m_table->setSortingEnabled(true);
    setListLook(m_table, QAbstractItemView::ExtendedSelection);
    // Widths from the first rows only, however long the file.
    m_table->horizontalHeader()->setResizeContentsPrecision(200);
    m_table->resizeColumnsToContents();
    m_table->horizontalHeader()->setStretchLastSection(true);
    auto* copy = new QAction(this);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    m_table->addAction(copy);
    connect(copy, &QAction::triggered, this, &ReviewWindow::copyToClipboard);

    m_totals = new QLabel(totalsText(model->summary()), this);
    m_totals->setObjectName(QStringLiteral("Totais"));
    m_totals->setWordWrap(true);
    m_valueTotals = new QLabel(this);
    m_valueTotals->setObjectName(QStringLiteral("TotaisValor"));
    m_valueTotals->setWordWrap(true);
    m_valueTotals->setVisible(model->mode() == ReviewModel::Mode::Inventory);
    showValueTotals();

    auto* copyButton = new QPushButton(QStringLiteral("&Copiar"), this);
    copyButton->setObjectName(QStringLiteral("Copiar"));
    auto* exportButton = new QPushButton(QStringLiteral("E&xportar CSV..."), this);
    exportButton->setObjectName(QStringLiteral("Exportar"));
    auto* post = new QPushButton(QStringLiteral("&Gravar"), this);
    post->setObjectName(QStringLiteral("Gravar"));
    auto* discard = new QPushButton(QStringLiteral("&Descartar"), this);
    discard->setObjectName(QStringLiteral("Descartar"));
    connect(copyButton, &QPushButton::clicked, this, &ReviewWindow::copyToClipboard);
    connect(exportButton, &QPushButton::clicked, this, &ReviewWindow::exportCsv);
    connect(post, &QPushButton::clicked, this, &QDialog::accept);
    connect(discard, &QPushButton::clicked, this, &QDialog::reject);

    auto* showRow = new QHBoxLayout;
    showRow->addWidget(showLabel);
    showRow->addWidget(m_show);
    showRow->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(copyButton);
    buttons->addWidget(exportButton);
    buttons->addStretch();
    buttons->addWidget(post);
    buttons->addWidget(discard);
    m_alreadyConverted = new QLabel(this);
    m_alreadyConverted->setObjectName(QStringLiteral("JaConvertido"));
    m_alreadyConverted->setWordWrap(true);
    m_alreadyConverted->setStyleSheet(QStringLiteral("color: #a00000; font-weight: bold"));
    m_alreadyConverted->hide();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_alreadyConverted);
    layout->addWidget(intro);
    layout->addWidget(target);
    layout->addLayout(showRow);
    layout->addWidget(m_table, 1);
    layout->addWidget(m_totals);
    layout->addWidget(m_valueTotals);
    layout->addLayout(buttons);
    // Wide enough for every column, as far as the screen allows.
    int width = m_table->verticalScrollBar()->sizeHint().width() + 2 * m_table->frameWidth();
    for (int section = 0; section < m_filter->columnCount(); ++section)
        width += m_table->columnWidth(section);
    const QMargins margins = layout->contentsMargins();
    width += margins.left() + margins.right();
    if (const QScreen* shown = parent ? parent->screen() : screen())
        width = std::min(width, shown->availableGeometry().width() - 40);
    resize(std::max(width, 640), 480);
    m_table->setFocus();
}

void ReviewWindow::fitColumns() {
    QHeaderView* header = m_table->horizontalHeader();
    const int last = m_filter->columnCount() - 1;
    if (last < 0)
        return;
    // The outcome, last, stretches; it needs at least its longest text or its title.
    const QAbstractItemView* view = m_table;
    int needed = std::max(view->sizeHintForColumn(last), header->sectionSizeHint(last));
    std::vector<int> shrinkable;
    for (int section = 0; section < last; ++section) {
        needed += header->sectionSize(section);
        if (ReviewModel::isFreeText(m_model->column(section)))
            shrinkable.push_back(section);
    }
    int excess = needed - m_table->viewport()->width();
    // The widest free-text column gives up a pixel at a time, down to its title's width.
    while (excess > 0) {
        int widest = -1;
        for (const int section : shrinkable) {
            if (header->sectionSize(section) > header->sectionSizeHint(section) &&
                (widest < 0 || header->sectionSize(section) > header->sectionSize(widest)))
                widest = section;
        }
        if (widest < 0)
            break;
        header->resizeSection(widest, header->sectionSize(widest) - 1);
        --excess;
    }
}

void ReviewWindow::setVisible(bool visible) {
    const bool showing = visible && !isVisible();
    QDialog::setVisible(visible);
    // Fitted once the table has its size on the screen; later, the clerk's widths stand.
    if (showing && !m_fitted) {
        m_fitted = true;
        fitColumns();
    }
    // The dialog makes a button the default as it shows; Enter in the table must press none,
    // since posting is asked for on purpose. A focused button still takes Enter.
    if (visible)
        for (QPushButton* button : findChildren<QPushButton*>())
            button->setDefault(false);
}

void ReviewWindow::setAlreadyConverted(const QString& text) {
    m_alreadyConverted->setText(text);
    m_alreadyConverted->setVisible(!text.isEmpty());
}

void ReviewWindow::showValueTotals() {
    ReviewModel::Totals totals;
    for (int row = 0; row < m_filter->rowCount(); ++row)
        m_model->addToTotals(m_filter->mapToSource(m_filter->index(row, 0)).row(), totals);
    m_valueTotals->setText(valueTotalsText(totals));
}

QList<int> ReviewWindow::shownRows(bool selectedOnly) const {
    QList<int> rows;
    if (selectedOnly) {
        for (const QModelIndex& index : m_table->selectionModel()->selectedRows())
            rows << index.row();
        std::sort(rows.begin(), rows.end());
    }
    if (rows.isEmpty()) {
        rows.reserve(m_filter->rowCount());
        for (int row = 0; row < m_filter->rowCount(); ++row)
            rows << row;
    }
    return rows;
}

QString ReviewWindow::shownText(bool selectedOnly) const {
    const int columns = m_filter->columnCount();
    QStringList lines;
    QStringList fields;
    for (int column = 0; column < columns; ++column)
        fields << m_filter->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
    lines << fields.join(QLatin1Char('\t'));
    for (const int row : shownRows(selectedOnly)) {
        fields.clear();
        for (int column = 0; column < columns; ++column)
            fields << m_filter->index(row, column).data(Qt::DisplayRole).toString();
        lines << fields.join(QLatin1Char('\t'));
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QByteArray ReviewWindow::shownCsv() const {
    // As spreadsheets of the workstation read it: numbers in its own notation, and ";" between
    // fields where the comma is the decimal separator; the byte-order mark says UTF-8.
    const char separator = db::Regional::locale().decimalPoint() == QStringLiteral(",") ? ';' : ',';
    const int columns = m_filter->columnCount();
    QByteArray out("\xEF\xBB\xBF");
    for (int column = 0; column < columns; ++column) {
        if (column > 0)
            out += separator;
        conversion::appendCsvField(
            out, m_filter->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString(),
            separator);
    }
    out += "\r\n";
    for (const int row : shownRows(false)) {
        for (int column = 0; column < columns; ++column) {
            if (column > 0)
                out += separator;
            conversion::appendCsvField(
                out, m_filter->index(row, column).data(ReviewModel::ExportRole).toString(),
                separator);
        }
        out += "\r\n";
    }
    return out;
}

void ReviewWindow::copyToClipboard() {
    QApplication::clipboard()->setText(shownText(true));
}

void ReviewWindow::exportCsv() {
    const Dialogs::FileRequest request{QStringLiteral("Exportar a conferência"),
                                       QStringLiteral("Arquivo CSV (*.csv)"), QStringLiteral("csv"),
                                       QString()};
    bool accepted = false;
    const QString fileName = Dialogs::saveFileName(this, request, &accepted);
    if (!accepted || fileName.isEmpty())
        return;
    // Written whole or not at all: a failed export leaves no half file behind.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(shownCsv()) < 0 || !file.commit()) {
        Dialogs::message(this, Dialogs::Kind::Warning,
                         QStringLiteral("Ocorreu o seguinte erro ao salvar os dados no arquivo: ") +
                             file.errorString());
        return;
    }
    Dialogs::message(this, Dialogs::Kind::Information,
                     QStringLiteral("Arquivo salvo com sucesso no diretório ") + fileName +
                         QLatin1Char('.'));
}

} // namespace ui
