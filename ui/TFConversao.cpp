#include "TFConversao.h"
#include "conversion/Journal.h"

#include "Dialogs.h"
#include "ErrorGuard.h"
#include "FormStartup.h"
#include "LookupComboBox.h"
#include "MaskEdit.h"
#include "conversion/EntryTexts.h"
#include "conversion/RejectionList.h"
#include "db/Connection.h"
#include "db/Errors.h"
#include "db/LookupQuery.h"

#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QShortcut>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>

namespace ui {

namespace {
constexpr int ClientWidth = 463;
constexpr int ClientHeight = 317;

QLabel* addLabel(QWidget* parent, const QString& text, int left, int top) {
    auto* label = new QLabel(text, parent);
    label->move(left, top);
    return label;
}

// Typing stops at the code's width. A longer code set by the program (picked from a list whose
// key column is wider) stays whole until the field is left, when its rightmost characters are
// kept; a maximum length would have cut it on the left at once.
void limitTyping(QLineEdit* field, int width) {
    field->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral(".{0,%1}").arg(width)), field));
}

QTableView* addGrid(QWidget* parent, conversion::RejectionList* model, const QString& name) {
    auto* grid = new QTableView(parent);
    grid->setObjectName(name);
    grid->setModel(model);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab and Shift+Tab go on to the page's buttons; the arrows walk the cells.
    grid->setTabKeyNavigation(false);
    grid->verticalHeader()->hide();
    grid->verticalHeader()->setDefaultSectionSize(17);
    grid->horizontalHeader()->setFixedHeight(17);
    grid->setColumnWidth(0, 154);
    grid->setColumnWidth(1, 222);
    return grid;
}

// Stands in for a grid whose list is empty.
QLabel* addEmptyListLabel(QWidget* page, QTableView* grid) {
    auto* label = new QLabel(QStringLiteral("Nenhuma leitura rejeitada."), page);
    label->setObjectName(grid->objectName() + QStringLiteral("Vazia"));
    label->setGeometry(grid->geometry());
    label->setAlignment(Qt::AlignCenter);
    label->hide();
    return label;
}

QPushButton* addButton(QWidget* parent, const QString& name, const QString& caption,
                       const QRect& geometry) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setGeometry(geometry);
    return button;
}
} // namespace

// A plain top-level window, so that the taskbar and Alt+Tab list it; a caption with the close
// button only, and a fixed size.
TFConversao::TFConversao(const FormStartup& startup, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("FConversao"));
    setWindowTitle(QStringLiteral("Conversor de Coletor de Dados"));
    setFixedSize(ClientWidth, ClientHeight);
    m_inventoryRejections = new conversion::RejectionList(m_rejections, this);
    m_openingRejections = new conversion::RejectionList(m_rejections, this);
    dbTelvaro = startup.newConnection(this);
    CausInv = db::LookupQuery::newCauses(this);
    Empresa = db::LookupQuery::newCompanies(this);
    connect(dbTelvaro, &db::Connection::aboutToClose, this, [this] {
        CausInv->close();
        Empresa->close();
    });
    createControls();
    applyLook();
    setUpEntryFields();
    setTabOrder();
    FormCreate(startup);
}

TFConversao::~TFConversao() = default;

void TFConversao::createControls() {
    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(0, 0, ClientWidth, 69);
    Panel1->setAutoFillBackground(true);
    ImgLogo = new QLabel(Panel1);
    ImgLogo->setObjectName(QStringLiteral("ImgLogo"));
    ImgLogo->setGeometry(3, 2, 164, 60);
    ImgLogo->setScaledContents(true);
    Label1 = new QLabel(QStringLiteral("Conversor de Coletor de Dados"), Panel1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(233, 5, 202, 13);

    PcDados = new QTabWidget(this);
    PcDados->setObjectName(QStringLiteral("PcDados"));
    PcDados->setGeometry(3, 74, 444, 204);

    TabInventario = new QWidget;
    TabInventario->setObjectName(QStringLiteral("TabInventario"));
    PcDados->addTab(TabInventario, QStringLiteral("Inventário"));
    Notebook = new QStackedWidget(TabInventario);
    Notebook->setObjectName(QStringLiteral("Notebook"));
    Notebook->setGeometry(3, 3, 413, 154);
    auto* conversao = new QWidget;
    conversao->setObjectName(QStringLiteral("Conversao"));
    GroupBox1 = new QGroupBox(QStringLiteral(" Dados do inventário "), conversao);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(3, 48, 405, 92);
    addLabel(GroupBox1, QStringLiteral("Data"), 9, 25);
    addLabel(GroupBox1, QStringLiteral("Empresa"), 8, 44);
    addLabel(GroupBox1, QStringLiteral("Causa"), 9, 69);
    Notebook->addWidget(conversao);
    auto* naoEncontrados = new QWidget;
    naoEncontrados->setObjectName(QStringLiteral("NaoEncontrados"));
    ProdutosNaoEncontrados =
        addGrid(naoEncontrados, m_inventoryRejections, QStringLiteral("ProdutosNaoEncontrados"));
    ProdutosNaoEncontrados->setGeometry(0, 0, 413, 125);
    Panel2 = new QFrame(naoEncontrados);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setGeometry(0, 125, 413, 29);
    BitBtn2 =
        addButton(Panel2, QStringLiteral("BitBtn2"), QStringLiteral("&Voltar"), {314, 3, 82, 23});
    btnSalvar =
        addButton(Panel2, QStringLiteral("btnSalvar"), QStringLiteral("&Salvar"), {5, 3, 82, 23});
    Notebook->addWidget(naoEncontrados);
    m_noInventoryRejections = addEmptyListLabel(naoEncontrados, ProdutosNaoEncontrados);
    lblStatus = new QLabel(TabInventario);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setGeometry(4, 160, 300, 13);

    TabInicioEstoque = new QWidget;
    TabInicioEstoque->setObjectName(QStringLiteral("TabInicioEstoque"));
    PcDados->addTab(TabInicioEstoque, QStringLiteral("Início de Estoque"));
    Notebook1 = new QStackedWidget(TabInicioEstoque);
    Notebook1->setObjectName(QStringLiteral("Notebook1"));
    Notebook1->setGeometry(3, 3, 413, 160);
    auto* conversao1 = new QWidget;
    conversao1->setObjectName(QStringLiteral("Conversao"));
    GroupBox2 = new QGroupBox(QStringLiteral(" Dados do início de estoque "), conversao1);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    GroupBox2->setGeometry(3, 48, 405, 92);
    addLabel(GroupBox2, QStringLiteral("Data"), 9, 25);
    addLabel(GroupBox2, QStringLiteral("Empresa"), 8, 44);
    Notebook1->addWidget(conversao1);
    auto* naoEncontrados1 = new QWidget;
    naoEncontrados1->setObjectName(QStringLiteral("NaoEncontrados"));
    StringGrid1 = addGrid(naoEncontrados1, m_openingRejections, QStringLiteral("StringGrid1"));
    StringGrid1->setGeometry(0, 0, 413, 131);
    Panel3 = new QFrame(naoEncontrados1);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    Panel3->setGeometry(0, 131, 413, 29);
    BitBtn3 =
        addButton(Panel3, QStringLiteral("BitBtn3"), QStringLiteral("&Voltar"), {314, 3, 82, 23});
    Notebook1->addWidget(naoEncontrados1);
    m_noOpeningRejections = addEmptyListLabel(naoEncontrados1, StringGrid1);

    // The entry controls lie on the form, over the tab sheets, so both tabs share them.
    GroupBox3 = new QGroupBox(QStringLiteral("Caminho do arquivo"), this);
    GroupBox3->setObjectName(QStringLiteral("GroupBox3"));
    GroupBox3->setGeometry(13, 108, 405, 40);
    edtCaminho = new QLineEdit(GroupBox3);
    edtCaminho->setObjectName(QStringLiteral("edtCaminho"));
    edtCaminho->setGeometry(7, 14, 356, 19);
    edtCaminho->setFrame(false);
    edtCaminho->setAccessibleName(QStringLiteral("Caminho do arquivo"));
    btAbrir = addButton(GroupBox3, QStringLiteral("btAbrir"), QString(), {367, 12, 27, 21});

    DtInventa = new MaskEdit(this);
    DtInventa->setObjectName(QStringLiteral("DtInventa"));
    DtInventa->setGeometry(74, 167, 76, 21);
    DtInventa->setAccessibleName(QStringLiteral("Data"));
    CodEmpresa = new QLineEdit(this);
    CodEmpresa->setObjectName(QStringLiteral("CodEmpresa"));
    CodEmpresa->setGeometry(74, 190, 33, 21);
    limitTyping(CodEmpresa, conversion::CompanyCodeWidth);
    CodEmpresa->setAccessibleName(QStringLiteral("Empresa"));
    MostraEmpresa = new LookupComboBox(this);
    MostraEmpresa->setObjectName(QStringLiteral("MostraEmpresa"));
    MostraEmpresa->setGeometry(113, 191, 207, 21);
    MostraEmpresa->setDropDownWidth(230);
    MostraEmpresa->setLookup(Empresa, QStringLiteral("NomeEmpresa;CodEmpresa"));
    MostraEmpresa->setAccessibleName(QStringLiteral("Empresa"));
    CodCausa = new QLineEdit(this);
    CodCausa->setObjectName(QStringLiteral("CodCausa"));
    CodCausa->setGeometry(74, 216, 33, 21);
    limitTyping(CodCausa, conversion::CauseCodeWidth);
    CodCausa->setAccessibleName(QStringLiteral("Causa"));
    MostraCausa = new LookupComboBox(this);
    MostraCausa->setObjectName(QStringLiteral("MostraCausa"));
    MostraCausa->setGeometry(113, 216, 297, 21);
    MostraCausa->setLookup(CausInv, QStringLiteral("Descricao; CodCausa"));
    MostraCausa->setAccessibleName(QStringLiteral("Causa"));
    btOK = addButton(this, QStringLiteral("btOK"), QStringLiteral("&Efetuar Conversão"),
                     {281, 245, 138, 28});
    btSimular = addButton(this, QStringLiteral("btSimular"), QStringLiteral("&Simular"),
                          {187, 245, 90, 28});
    btSimular->setAccessibleName(QStringLiteral("Simular"));
    btSimular->setToolTip(QStringLiteral("Conferir o arquivo antes de gravar: nada é gravado"));
    // In the header, clear of the line where a run counts its lines.
    btHistorico = addButton(this, QStringLiteral("btHistorico"), QStringLiteral("&Histórico"),
                            {ClientWidth - 98, 34, 90, 28});
    btHistorico->setAccessibleName(QStringLiteral("Histórico"));
    btHistorico->setToolTip(
        QStringLiteral("Conversões gravadas neste banco, e desfazer uma delas"));
    // Reached by its shortcut or the mouse: Tab, Enter and the arrows go as they always have.
    btHistorico->setFocusPolicy(Qt::ClickFocus);
    btNaoContados = addButton(this, QStringLiteral("btNaoContados"),
                              QStringLiteral("&Não contados"), {ClientWidth - 212, 34, 110, 28});
    btNaoContados->setAccessibleName(QStringLiteral("Não contados"));
    btNaoContados->setToolTip(QStringLiteral("Produtos com estoque sem contagem no inventário "
                                             "da empresa e da data, e zerá-los"));
    btNaoContados->setFocusPolicy(Qt::ClickFocus);

    progress = new QProgressBar(this);
    progress->setObjectName(QStringLiteral("progress"));
    progress->setGeometry(0, ClientHeight - 17, ClientWidth, 17);
    progress->setTextVisible(false);
    progress->setValue(0);

    for (QWidget* control :
         {static_cast<QWidget*>(GroupBox3), static_cast<QWidget*>(DtInventa),
          static_cast<QWidget*>(CodEmpresa), static_cast<QWidget*>(MostraEmpresa),
          static_cast<QWidget*>(CodCausa), static_cast<QWidget*>(MostraCausa),
          static_cast<QWidget*>(btOK), static_cast<QWidget*>(btSimular),
          static_cast<QWidget*>(btHistorico), static_cast<QWidget*>(btNaoContados)})
        control->raise();

    for (QWidget* control :
         {static_cast<QWidget*>(PcDados->tabBar()), static_cast<QWidget*>(edtCaminho),
          static_cast<QWidget*>(btAbrir), static_cast<QWidget*>(DtInventa),
          static_cast<QWidget*>(CodEmpresa), static_cast<QWidget*>(MostraEmpresa),
          static_cast<QWidget*>(CodCausa), static_cast<QWidget*>(MostraCausa),
          static_cast<QWidget*>(btOK), static_cast<QWidget*>(btSimular),
          static_cast<QWidget*>(ProdutosNaoEncontrados), static_cast<QWidget*>(BitBtn2),
          static_cast<QWidget*>(btnSalvar), static_cast<QWidget*>(StringGrid1),
          static_cast<QWidget*>(BitBtn3)})
        watch(control);

    connect(PcDados, &QTabWidget::currentChanged, this,
            [this] { guarded(this, [this] { PcDadosChange(); }); });
    // The entry fields lie outside the tab control, which handles Ctrl+Tab only for its own
    // children; the form switches tabs from anywhere, unless a run holds the tab strip.
    for (const auto& [keys, step] :
         {std::pair{QKeySequence(Qt::CTRL | Qt::Key_Tab), 1},
          std::pair{QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), -1},
          std::pair{QKeySequence(Qt::CTRL | Qt::Key_PageDown), 1},
          std::pair{QKeySequence(Qt::CTRL | Qt::Key_PageUp), -1}}) {
        connect(new QShortcut(keys, this), &QShortcut::activated, this, [this, step = step] {
            if (PcDados->tabBar()->isEnabled())
                PcDados->setCurrentIndex((PcDados->currentIndex() + step + PcDados->count()) %
                                         PcDados->count());
        });
    }
    for (conversion::RejectionList* list : {m_inventoryRejections, m_openingRejections}) {
        connect(list, &QAbstractItemModel::modelReset, this, &TFConversao::showEmptyLists);
        connect(list, &QAbstractItemModel::headerDataChanged, this, &TFConversao::showEmptyLists);
    }
    showEmptyLists();
    connect(btAbrir, &QPushButton::clicked, this,
            [this] { guarded(this, [this] { btAbrirClick(); }); });
    connect(btOK, &QPushButton::clicked, this, [this] { guarded(this, [this] { btOKClick(); }); });
    connect(btSimular, &QPushButton::clicked, this,
            [this] { guarded(this, [this] { btSimularClick(); }); });
    connect(btHistorico, &QPushButton::clicked, this,
            [this] { guarded(this, [this] { btHistoricoClick(); }); });
    connect(btNaoContados, &QPushButton::clicked, this,
            [this] { guarded(this, [this] { btNaoContadosClick(); }); });
    connect(BitBtn2, &QPushButton::clicked, this,
            [this] { guarded(this, [this] { BitBtn2Click(); }); });
    connect(BitBtn3, &QPushButton::clicked, this,
            [this] { guarded(this, [this] { BitBtn2Click(); }); });
    connect(btnSalvar, &QPushButton::clicked, this,
            [this] { guarded(this, [this] { btnSalvarClick(); }); });
    connect(CodEmpresa, &QLineEdit::textChanged, this,
            [this] { guarded(this, [this] { CodEmpresaChange(); }); });
    connect(CodCausa, &QLineEdit::textChanged, this,
            [this] { guarded(this, [this] { CodCausaChange(); }); });
    connect(MostraEmpresa, &LookupComboBox::clicked, this,
            [this] { guarded(this, [this] { MostraEmpresaClick(); }); });
    connect(MostraCausa, &LookupComboBox::clicked, this,
            [this] { guarded(this, [this] { MostraCausaClick(); }); });
}

void TFConversao::setTabOrder() {
    // Form order: tab strip, date, company, company list, cause, cause list, convert, simulate,
    // path group (path, open); each list page: grid, then its buttons.
    const QList<QWidget*> entry = {PcDados->tabBar(),
                                   DtInventa,
                                   CodEmpresa,
                                   MostraEmpresa,
                                   CodCausa,
                                   MostraCausa,
                                   btOK,
                                   btSimular,
                                   edtCaminho,
                                   btAbrir,
                                   ProdutosNaoEncontrados,
                                   BitBtn2,
                                   btnSalvar,
                                   StringGrid1,
                                   BitBtn3};
    for (qsizetype i = 0; i + 1 < entry.size(); ++i)
        QWidget::setTabOrder(entry[i], entry[i + 1]);
    for (QWidget* none : {static_cast<QWidget*>(progress), static_cast<QWidget*>(GroupBox1),
                          static_cast<QWidget*>(GroupBox2), static_cast<QWidget*>(GroupBox3)})
        none->setFocusPolicy(Qt::NoFocus);
}

void TFConversao::FormCreate(const FormStartup& startup) {
    try {
        startup.open(*dbTelvaro, {CausInv, Empresa});
    } catch (const db::Error& error) {
        dbTelvaro->close();
        Dialogs::message(this, Dialogs::Kind::Warning,
                         QStringLiteral("Ocorreu um erro ao tentar conectar ao banco de dados:\r") +
                             error.message());
    }
    if (dbTelvaro->isOpen()) {
        m_journal = conversion::journal::present(dbTelvaro->database());
        m_journalDamage = conversion::journal::damage(dbTelvaro->database());
        // Said once: the first run's line counter takes the place.
        if (!m_journalDamage.isEmpty()) {
            lblStatus->setText(QStringLiteral("Diário de conversões incompleto."));
            lblStatus->setToolTip(m_journalDamage);
        } else if (!m_journal) {
            lblStatus->setText(conversion::journal::offShortText());
            lblStatus->setToolTip(conversion::journal::offText());
        }
    }
    Notebook->setCurrentIndex(0);
    Notebook1->setCurrentIndex(0);
    edtCaminho->setFocus();
}

} // namespace ui
