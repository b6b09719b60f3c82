#pragma once

#include "conversion/RunFiles.h"

#include <QStringList>
#include <QWidget>

class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTabWidget;
class QTableView;

namespace conversion {
class RejectionList;
struct RunRequest;
struct RunResult;
} // namespace conversion
namespace db {
class Connection;
class LookupQuery;
} // namespace db

namespace ui {

class FormStartup;
class LookupComboBox;
class MaskEdit;
struct ReviewDestination;

// The conversion form, the tool's only window (unit untPrincipal). Controls and handlers keep
// their design names. Handlers stay thin: they read the widgets, call the engine, show results.
class TFConversao : public QWidget {
    Q_OBJECT
public:
    // The program's start-up step runs while the form is created (FormCreate).
    explicit TFConversao(const FormStartup& startup, QWidget* parent = nullptr);
    ~TFConversao() override;

    // Virtual key codes the keyboard rules use.
    static constexpr int VK_RETURN = 13;
    static constexpr int VK_ESCAPE = 27;
    static constexpr int VK_UP = 38;
    static constexpr int VK_DOWN = 40;

    // --- start-up and connection
    void FormCreate(const FormStartup& startup);

    // --- form-wide keyboard rules and display states
    void FormKeyDown(int& key);
    void ClearEntries();
    void SetInputControlsVisible(bool visible);
    void PcDadosChange();

    // --- rejection lists
    void BitBtn2Click();
    void btnSalvarClick();
    void ClearRejectionLists();
    // A list with no row shows "Nenhuma leitura rejeitada." instead of an empty grid.
    void showEmptyLists();
    bool AlreadyListed(const QString& itemCode) const;

    // --- conversion run
    void btAbrirClick();
    bool CheckEntries();
    // A date far from today (a mistyped year, say) is posted into only when the clerk says so;
    // false, with the focus in the date field, when not.
    bool farDateAccepted();
    void ReportBlankField(QWidget* control, const QString& label);
    void btOKClick();

    // --- review before posting: a dry run, then a window to post or discard what it showed
    void btSimularClick();
    // The journal's runs, with their undo.
    void btHistoricoClick();
    // The products with stock that the inventory of the company and date entered has not
    // counted, and their zeroing.
    void btNaoContadosClick();

    // --- company, cause and date fields
    void CodEmpresaExit();
    void CodEmpresaChange();
    void CodEmpresaKeyDown(int& key);
    void MostraEmpresaClick();
    void MostraEmpresaKeyDown(int& key);
    void CodCausaExit();
    void CodCausaChange();
    void CodCausaKeyDown(int& key);
    void MostraCausaClick();
    void MostraCausaKeyDown(int& key);
    void DtInventaExit();
    void DtInventaKeyDown(int& key);
    // False, with a warning the first time, when the look-up is closed: without a connection the
    // codes can't be looked up.
    bool lookupAvailable(const db::LookupQuery& lookup);

    // Controls, by their design names.
    QFrame* Panel1 = nullptr;
    QLabel* ImgLogo = nullptr;
    QLabel* Label1 = nullptr;
    QTabWidget* PcDados = nullptr;
    QWidget* TabInventario = nullptr;
    QStackedWidget* Notebook = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QTableView* ProdutosNaoEncontrados = nullptr;
    QFrame* Panel2 = nullptr;
    QPushButton* BitBtn2 = nullptr;
    QPushButton* btnSalvar = nullptr;
    QLabel* lblStatus = nullptr;
    QWidget* TabInicioEstoque = nullptr;
    QStackedWidget* Notebook1 = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QTableView* StringGrid1 = nullptr;
    QFrame* Panel3 = nullptr;
    QPushButton* BitBtn3 = nullptr;
    QGroupBox* GroupBox3 = nullptr;
    QLineEdit* edtCaminho = nullptr;
    QPushButton* btAbrir = nullptr;
    MaskEdit* DtInventa = nullptr;
    QLineEdit* CodEmpresa = nullptr;
    LookupComboBox* MostraEmpresa = nullptr;
    QLineEdit* CodCausa = nullptr;
    LookupComboBox* MostraCausa = nullptr;
    QPushButton* btOK = nullptr;
    QPushButton* btSimular = nullptr;
    QPushButton* btHistorico = nullptr;
    QPushButton* btNaoContados = nullptr;
    QProgressBar* progress = nullptr;
    // The loaded collector file, one entry per line; never shown.
    QStringList Arquivo;

    // Connection and look-ups.
    db::Connection* dbTelvaro = nullptr;
    db::LookupQuery* CausInv = nullptr;
    db::LookupQuery* Empresa = nullptr;

    // Rejection lists and the rejections flag.
    bool rejections() const { return m_rejections; }
    conversion::RejectionList* inventoryRejections() const { return m_inventoryRejections; }
    conversion::RejectionList* openingRejections() const { return m_openingRejections; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

    // --- conversion run: one at a time; closing the window stops it after the current line
public:
    bool isRunning() const { return m_running; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Hands the run to the run service with the form's progress; false when the run did not come
    // to its end. A dry run leaves the form's rejection lists as they are.
    bool runConversion(const conversion::RunRequest& run, conversion::RunResult& result);
    // Reads the file, or the files one after another, into Arquivo; false, with the box that says
    // why, when one holds nothing or they can't go in one run.
    bool loadArquivo();
    // The collector files the path field names: one path as typed, or several, each in double
    // quotes, as the file dialog leaves several.
    QStringList collectorPaths() const;
    conversion::RunRequest currentRun() const;
    // The real run, the success box with the run's figures; false when it did not end.
    bool postRun(const conversion::RunRequest& run);
    void showListsIfRejected();
    // The progress bar back to 0 and the line counter cleared, once a run has been reported.
    void resetProgress();
    // Where posting the reviewed run goes: the file, the tab and the entries with their names.
    ReviewDestination destination(const conversion::RunRequest& run) const;
    // After a review: posts the very lines and entries that were reviewed.
    void postReviewed(const conversion::RunRequest& run);
    void setEntryControlsEnabled(bool enabled);
    friend class FormRunObserver;
    // The journal's tables are in the database: asked once, when the form is created.
    bool m_journal = false;
    // What is wrong with a journal half there, which stops every posting; empty otherwise.
    QString m_journalDamage;
    // The files whose lines are in Arquivo, with the SHA-256 of their bytes.
    conversion::RunFiles m_files;
    bool m_running = false;
    bool m_closeRequested = false;
    // Where the file dialog opens: the folder of the last file chosen in it.
    QString m_lastFolder;
    // --- end of the conversion run block

private:
    void createControls();
    // Fonts, colours and pictures of the design, and the window centred on its screen.
    void applyLook();
    // Input rules of the code fields and the code fields' click; called once the controls exist.
    void setUpEntryFields();
    void setTabOrder();
    void watch(QWidget* widget);
    // The focus moves as Enter and the arrows move it, passing over the simulate button.
    void focusNextControl(bool next);
    // Key preview: the form's rules first, then the focused control's own handler; returns
    // false when a handler consumed the key.
    bool previewKey(QObject* watched, int key);
    void controlLeft(QObject* watched);

    bool m_rejections = false;
    bool m_noConnectionTold = false;
    // Set while a leave handler runs: one that moves the focus makes the control the focus was
    // heading for lose it before it ever had it, and that control has nothing to leave.
    bool m_leaving = false;
    conversion::RejectionList* m_inventoryRejections = nullptr;
    conversion::RejectionList* m_openingRejections = nullptr;
    QLabel* m_noInventoryRejections = nullptr;
    QLabel* m_noOpeningRejections = nullptr;
};

} // namespace ui
