#pragma once

#include "app/Startup.h"
#include "conversion/RejectionList.h"
#include "tests/TestDatabase.h"
#include "ui/Dialogs.h"
#include "ui/TFConversao.h"

#include <QApplication>
#include <QDir>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

// A shown, active form on a database of its own holding two companies (01, 02) and two
// causes (001, 005): the working folder's Caminho.Dir and the alias name it.
class FormFixture {
public:
    static void prepareEnvironment() {
        ui::Dialogs::setTestMode(true);
        qputenv("CONVERSOR_ALIASES", QByteArray("/nonexistent/aliases.ini"));
    }

    bool open() {
        QDir::setCurrent(m_folder.path());
        m_database = std::make_unique<TestDatabase>();
        m_database->exec(
            QStringLiteral("Insert Into Filiais Values ('01', 'Matriz'), ('02', 'Filial')"));
        m_database->exec(QStringLiteral(
            "Insert Into CausInv Values ('001', 'Inventário anual'), ('005', 'Ajuste')"));
        m_database->pointToolAt(m_folder.path());
        m_form = std::make_unique<ui::TFConversao>(app::Startup{});
        ui::Dialogs::clearShown();
        m_form->show();
        return QTest::qWaitForWindowActive(m_form.get());
    }

    void close() {
        m_form.reset();
        m_database.reset();
        QDir::setCurrent(QDir::tempPath());
    }

    ui::TFConversao& form() { return *m_form; }

    // "tabs" is the tab strip of PcDados; every other control answers by its design name.
    QWidget* control(const QString& name) const {
        if (name == QLatin1String("tabs"))
            return m_form->PcDados->tabBar();
        return m_form->findChild<QWidget*>(name);
    }
    QString focusName() const {
        QWidget* focused = QApplication::focusWidget();
        if (!focused)
            return QStringLiteral("(none)");
        if (focused == m_form->PcDados->tabBar())
            return QStringLiteral("tabs");
        return focused->objectName();
    }
    void press(Qt::Key key) const { QTest::keyClick(QApplication::focusWidget(), key); }

    // What a run that rejected readings leaves: input controls hidden, both list pages shown;
    // with rows, a rejection in each list, so that both grids are shown too.
    enum Rows { NoRows, WithRows };
    void showLists(Rows rows = NoRows) {
        if (rows == WithRows) {
            m_form->inventoryRejections()->add(QStringLiteral("7891234567890"),
                                               QStringLiteral("Referência não encontrada."));
            m_form->openingRejections()->add(QStringLiteral("ABC-1"),
                                             QStringLiteral("Produto já processado."));
        }
        m_form->SetInputControlsVisible(false);
        m_form->Notebook->setCurrentIndex(1);
        m_form->Notebook1->setCurrentIndex(1);
    }

    QString folderPath(const QString& name) const { return m_folder.filePath(name); }

private:
    QTemporaryDir m_folder;
    std::unique_ptr<TestDatabase> m_database;
    std::unique_ptr<ui::TFConversao> m_form;
};
