#include "HistoryWindow.h"

#include "TableLook.h"

#include "Dialogs.h"
#include "conversion/EntryTexts.h"
#include "db/Errors.h"
#include "db/Regional.h"
#include "db/Texts.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

namespace ui {

namespace journal = conversion::journal;

namespace {

QList<QStandardItem*> rowOf(const journal::RunRecord& run) {
    const QStringList texts = {
        journal::shownMoment(run.when),
        run.uncounted   ? QStringLiteral("Não contados")
        : run.inventory ? QStringLiteral("Inventário")
                        : QStringLiteral("Início de Estoque"),
        run.companyCode,
        db::texts::formatDate(run.date),
        run.causeCode,
        run.fileName,
        QString::number(run.lines),
        QString::number(run.posted),
        QString::number(run.rejected),
        run.user,
        run.workstation,
        run.undone ? QStringLiteral("Desfeita em %1 por %2")
                         .arg(journal::shownMoment(run.undoneAt), run.undoneBy)
                   : QStringLiteral("Gravada"),
    };
    QList<QStandardItem*> items;
    for (qsizetype column = 0; column < texts.size(); ++column) {
        auto* item = new QStandardItem(texts.at(column));
        if (column >= 6 && column <= 8)
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        items << item;
    }
    return items;
}

} // namespace

HistoryWindow::HistoryWindow(const QSqlDatabase& database, const db::Dialect& dialect,
                             QWidget* parent)
    : QDialog(parent)
    , m_database(database)
    , m_dialect(dialect) {
    setObjectName(QStringLiteral("Historico"));
    setWindowTitle(QStringLiteral("Histórico das conversões"));
    setWindowModality(Qt::WindowModal);

    m_company = new QLineEdit(this);
    m_company->setObjectName(QStringLiteral("FiltroEmpresa"));
    m_company->setMaxLength(2);
    m_company->setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("0000")));
    auto* companyLabel = new QLabel(QStringLiteral("&Empresa:"), this);
    companyLabel->setBuddy(m_company);
    m_date = new QLineEdit(this);
    m_date->setObjectName(QStringLiteral("FiltroData"));
    m_date->setPlaceholderText(QStringLiteral("dd/mm/aaaa"));
    m_date->setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("00/00/00000")) + 16);
    auto* dateLabel = new QLabel(QStringLiteral("Da&ta:"), this);
    dateLabel->setBuddy(m_date);
    connect(m_company, &QLineEdit::textChanged, this, [this] { reload(); });
    connect(m_date, &QLineEdit::textChanged, this, [this] { reload(); });

    m_model = new QStandardItemModel(this);
    m_model->setHorizontalHeaderLabels(
        {QStringLiteral("Quando"), QStringLiteral("Modo"), QStringLiteral("Empresa"),
         QStringLiteral("Data"), QStringLiteral("Causa"), QStringLiteral("Arquivo"),
         QStringLiteral("Linhas"), QStringLiteral("Gravadas"), QStringLiteral("Rejeitadas"),
         QStringLiteral("Usuário"), QStringLiteral("Estação"), QStringLiteral("Situação")});
    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("Conversoes"));
    m_table->setModel(m_model);
    setListLook(m_table, QAbstractItemView::SingleSelection);
    m_table->horizontalHeader()->setStretchLastSection(true);

    m_undo = new QPushButton(QStringLiteral("&Desfazer"), this);
    m_undo->setObjectName(QStringLiteral("Desfazer"));
    auto* close = new QPushButton(QStringLiteral("&Fechar"), this);
    connect(m_undo, &QPushButton::clicked, this, &HistoryWindow::undoSelected);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);

    auto* filters = new QHBoxLayout;
    filters->addWidget(companyLabel);
    filters->addWidget(m_company);
    filters->addSpacing(12);
    filters->addWidget(dateLabel);
    filters->addWidget(m_date);
    filters->addStretch();
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("Situacao"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_undo);
    buttons->addWidget(m_status, 1);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(m_table, 1);
    layout->addLayout(buttons);
    reload();
    connect(m_table->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                m_undo->setEnabled(current.isValid() && !m_runs.at(current.row()).undone);
            });
    m_undo->setEnabled(!m_runs.isEmpty() && !m_runs.constFirst().undone);
    // Wide enough for every column, as far as the screen allows.
    fitToColumns(this, m_table, layout, 24, 420);
}

void HistoryWindow::reload(const QString& keep) {
    const QString company = m_company->text().trimmed();
    // A date still being typed filters nothing yet.
    const QDate date = conversion::parseDate(m_date->text(), db::Clock::today()).value_or(QDate());
    m_runs =
        journal::history(m_database, m_dialect,
                         company.isEmpty() ? QString() : conversion::companyCode(company), date);
    m_model->removeRows(0, m_model->rowCount());
    for (const journal::RunRecord& run : m_runs)
        m_model->appendRow(rowOf(run));
    m_table->resizeColumnsToContents();
    // The run just undone stays chosen, its button off: the next Enter undoes nothing else.
    int row = 0;
    for (int i = 0; i < m_runs.size(); ++i) {
        if (m_runs.at(i).id == keep)
            row = i;
    }
    if (!m_runs.isEmpty())
        m_table->selectRow(row);
    m_undo->setEnabled(!m_runs.isEmpty() && !m_runs.at(row).undone);
}

void HistoryWindow::undoSelected() {
    const QModelIndexList selected = m_table->selectionModel()->selectedRows();
    if (selected.isEmpty())
        return;
    const journal::RunRecord run = m_runs.at(selected.constFirst().row());
    if (run.undone) {
        Dialogs::box(this, QStringLiteral("Esta conversão já foi desfeita."),
                     QStringLiteral("Desfazer"), Dialogs::Icon::Exclamation);
        return;
    }
    // The files of one run go back together: the question names them all.
    QStringList names;
    int posted = 0;
    for (const journal::RunRecord& each : std::as_const(m_runs)) {
        if (each.id == run.id || (!run.lote.isEmpty() && each.lote == run.lote)) {
            names << each.fileName;
            posted += each.posted;
        }
    }
    names.sort();
    const QString question =
        run.uncounted
            ? QStringLiteral("Desfazer a zeragem dos não contados feita em %1 por %2 na estação "
                             "%3?\rAs %4 contagens zeradas por ela saem do banco; os produtos "
                             "voltam a não ter contagem.")
                  .arg(journal::shownMoment(run.when), run.user, run.workstation)
                  .arg(run.posted)
        : names.size() > 1
            ? QStringLiteral("Desfazer a conversão dos arquivos %1, convertidos juntos em %2 "
                             "por %3 na estação %4?\rAs %5 leituras gravadas por ela saem do "
                             "banco.")
                  .arg(names.join(QStringLiteral(", ")), journal::shownMoment(run.when), run.user,
                       run.workstation)
                  .arg(posted)
            : QStringLiteral("Desfazer a conversão do arquivo %1, %2?\rAs %3 leituras gravadas "
                             "por ela saem do banco.")
                  .arg(run.fileName, journal::describe(run))
                  .arg(run.posted);
    if (!Dialogs::question(this, question, QStringLiteral("Desfazer")))
        return;
    // Another workstation's run into the company holds the turn: the wait is counted here, and
    // the window stays painted, but takes no second undo meanwhile.
    m_undo->setEnabled(false);
    const auto waiting = [this](int seconds) {
        m_status->setText(db::texts::turnWaitText(seconds));
        m_status->repaint();
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    };
    try {
        const journal::UndoResult result =
            journal::undo(m_database, m_dialect, run.id, journal::currentUser(),
                          journal::UndoMode::Apply, db::TurnWaitLimit, waiting);
        m_status->clear();
        if (result.undone) {
            Dialogs::box(this, result.message, QStringLiteral("Informação"),
                         Dialogs::Icon::Information);
        } else {
            QStringList rows;
            for (const journal::UndoRefusal& refusal : result.refusals)
                rows << QStringLiteral("%1 grade %2: %3")
                            .arg(refusal.CodProd, refusal.CodGrade, refusal.reason);
            Dialogs::box(this, result.message, QStringLiteral("Desfazer recusado"),
                         Dialogs::Icon::Exclamation, rows.join(u'\n'));
        }
    } catch (const db::Error& error) {
        m_status->clear();
        Dialogs::error(this, error.message() + QStringLiteral("\rNada foi desfeito."));
    }
    reload(run.id);
}

} // namespace ui
