#include "UncountedWindow.h"

#include "TableLook.h"

#include "Dialogs.h"
#include "conversion/EntryTexts.h"
#include "conversion/Journal.h"
#include "conversion/RunService.h"
#include "db/Errors.h"
#include "db/Regional.h"
#include "db/Texts.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

namespace ui {

namespace {

QString shownNumber(double value) {
    return db::Regional::locale().toString(value, 'g', 12);
}

QList<QStandardItem*> rowOf(const conversion::UncountedProduct& product) {
    const QStringList texts = {product.CodProd,
                               product.CodGrade,
                               product.description,
                               shownNumber(product.stock),
                               conversion::priceText(product.cost),
                               conversion::moneyText(product.value())};
    QList<QStandardItem*> items;
    for (qsizetype column = 0; column < texts.size(); ++column) {
        auto* item = new QStandardItem(texts.at(column));
        if (column >= 3)
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        items << item;
    }
    return items;
}

// The window's side of the zeroing: its wait for the company's turn, counted in the window.
class ZeroObserver final : public conversion::RunObserver {
public:
    explicit ZeroObserver(QLabel* status)
        : m_status(status) {}
    void lineStarted(int) override {}
    bool stopRequested() override { return false; }
    void waitingForTurn(int seconds) override {
        m_status->setText(db::texts::turnWaitText(seconds));
        m_status->repaint();
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }

private:
    QLabel* m_status;
};

} // namespace

UncountedWindow::UncountedWindow(const QSqlDatabase& database, const db::Dialect& dialect,
                                 UncountedPlace place, QWidget* parent)
    : QDialog(parent)
    , m_database(database)
    , m_dialect(dialect)
    , m_place(std::move(place)) {
    setObjectName(QStringLiteral("NaoContados"));
    setWindowTitle(QStringLiteral("Produtos não contados"));
    setWindowModality(Qt::WindowModal);

    auto* intro = new QLabel(
        QStringLiteral("Produtos com estoque que não têm contagem neste inventário: processá-lo "
                       "deixaria o estoque deles como está. Depois de convertidos os arquivos de "
                       "todos, zere-os se a contagem foi completa."),
        this);
    intro->setWordWrap(true);
    QString where = QStringLiteral("Empresa: %1   Data: %2")
                        .arg(m_place.company, db::texts::formatDate(m_place.date));
    if (!m_place.cause.isEmpty())
        where += QStringLiteral("   Causa: ") + m_place.cause;
    auto* target = new QLabel(where, this);
    target->setObjectName(QStringLiteral("Destino"));
    target->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_model = new QStandardItemModel(this);
    m_model->setHorizontalHeaderLabels({QStringLiteral("CodProd"), QStringLiteral("CodGrade"),
                                        QStringLiteral("Descrição"), QStringLiteral("Estoque"),
                                        QStringLiteral("Custo"), QStringLiteral("Valor")});
    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("Produtos"));
    m_table->setModel(m_model);
    setListLook(m_table, QAbstractItemView::ExtendedSelection);
    m_table->horizontalHeader()->setStretchLastSection(true);

    m_totals = new QLabel(this);
    m_totals->setObjectName(QStringLiteral("Totais"));
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("Situacao"));
    m_zero = new QPushButton(QStringLiteral("&Zerar não contados…"), this);
    m_zero->setObjectName(QStringLiteral("Zerar"));
    auto* close = new QPushButton(QStringLiteral("&Fechar"), this);
    close->setObjectName(QStringLiteral("Fechar"));
    // Zeroing is asked for on purpose: Enter in the table presses no button.
    m_zero->setAutoDefault(false);
    close->setAutoDefault(false);
    connect(m_zero, &QPushButton::clicked, this, &UncountedWindow::zeroAll);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_zero);
    buttons->addWidget(m_status, 1);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(target);
    layout->addWidget(m_table, 1);
    layout->addWidget(m_totals);
    layout->addLayout(buttons);
    reload();
    fitToColumns(this, m_table, layout, m_table->verticalScrollBar()->sizeHint().width() + 8, 480);
    m_table->setFocus();
}

void UncountedWindow::reload() {
    m_list = conversion::uncountedProducts(m_database, m_dialect, m_place.entries.companyCode,
                                           m_place.date);
    m_model->removeRows(0, m_model->rowCount());
    for (const conversion::UncountedProduct& product : m_list.products)
        m_model->appendRow(rowOf(product));
    m_table->resizeColumnsToContents();
    m_totals->setText(
        m_list.products.empty()
            ? QStringLiteral("Nenhum produto com estoque está sem contagem.")
            : QStringLiteral("%1   Estoque: %2   Valor: %3")
                  .arg(m_list.count() == 1
                           ? QStringLiteral("1 produto não contado")
                           : QStringLiteral("%1 produtos não contados").arg(m_list.count()),
                       shownNumber(m_list.stock()), conversion::moneyText(m_list.value())));
    m_zero->setEnabled(!m_list.products.empty());
}

void UncountedWindow::zeroAll() {
    if (m_list.products.empty())
        return;
    if (m_place.entries.causeCode.isEmpty()) {
        Dialogs::message(this, Dialogs::Kind::Warning,
                         conversion::blankFieldText(QStringLiteral("Causa")));
        return;
    }
    if (!m_place.journalDamage.isEmpty()) {
        Dialogs::box(this, m_place.journalDamage + QStringLiteral("\rNada foi zerado."),
                     QStringLiteral("Erro ao zerar"), Dialogs::Icon::Exclamation);
        return;
    }
    // A date far from today is more likely mistyped than meant, as for a run.
    const QDate today = db::Clock::today();
    if (conversion::isFarFromToday(m_place.date, today) &&
        !Dialogs::question(this,
                           conversion::farDateText(m_place.date, today) +
                               QStringLiteral("\rAs contagens 0 serão gravadas nessa data. Zerar "
                                              "assim mesmo?"),
                           QStringLiteral("Data distante")))
        return;
    if (!Dialogs::question(this,
                           conversion::zeroQuestion(m_list, m_place.entries.companyCode,
                                                    m_place.date, m_place.entries.causeCode),
                           QStringLiteral("Zerar não contados")))
        return;
    conversion::ZeroRequest request;
    request.entries = m_place.entries;
    request.journal = m_place.journal;
    request.turnWaitLimit = m_place.turnWait;
    ZeroObserver observer(m_status);
    m_zero->setEnabled(false);
    const conversion::ZeroResult result =
        conversion::RunService(m_database, m_dialect).zeroUncounted(request, &observer);
    m_status->clear();
    if (result.completed()) {
        QString text = result.text(false);
        if (!result.note.isEmpty())
            text += u'\r' + result.note;
        // Nothing to undo it by: the clerk should know before counting on it.
        if (!m_place.journal && result.zeroed.count() > 0)
            text += u'\r' + conversion::journal::offText();
        Dialogs::box(this, text, QStringLiteral("Informação"), Dialogs::Icon::Information);
    } else {
        Dialogs::error(this, result.failure, result.detail);
    }
    reload();
}

} // namespace ui
