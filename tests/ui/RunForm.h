#pragma once

#include "app/Startup.h"
#include "db/Connection.h"
#include "db/Regional.h"
#include "tests/TestDatabase.h"
#include "ui/Dialogs.h"
#include "ui/MaskEdit.h"
#include "ui/TFConversao.h"

#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

// The tests that run a conversion from the form: a working folder and a database of its own
// holding one company (01), one cause (003) and one product (P1, reference REF1, barcode
// 789000001), and the form on them.
class RunForm : public QObject {
protected:
    static void prepareEnvironment() {
        ui::Dialogs::setTestMode(true);
        qputenv("CONVERSOR_ALIASES", QByteArray("/nonexistent/aliases.ini"));
        db::Regional::setLocale(QLocale(QLocale::Portuguese, QLocale::Brazil));
        db::Clock::setFixed(QDateTime(QDate(2026, 12, 8), QTime(9, 15, 0)));
    }
    void makeFolderAndDatabase() {
        m_dir = std::make_unique<QTemporaryDir>();
        QDir::setCurrent(m_dir->path());
        m_database = std::make_unique<TestDatabase>();
        for (const char* statement :
             {"Insert Into Filiais Values ('01', 'Matriz')",
              "Insert Into CausInv Values ('003', 'Balanço')",
              "Insert Into Produto Values ('P1', 'Camisa', 1, 'REF1', NULL)",
              "Insert Into ProdGrade Values ('P1', '0001', '789000001')"})
            m_database->exec(QString::fromLatin1(statement));
        ui::Dialogs::clearShown();
    }
    void dropAll() {
        m_form.reset();
        m_database.reset();
        QDir::setCurrent(QDir::tempPath());
        m_dir.reset();
    }
    // The form, on the database unless `connected` is false, shown and active, with valid
    // entries and the focus on the convert button as after a click.
    void openForm(bool connected = true) {
        if (connected)
            m_database->pointToolAt(m_dir->path());
        m_form = std::make_unique<ui::TFConversao>(app::Startup{});
        QCOMPARE(m_form->dbTelvaro->isOpen(), connected);
        ui::Dialogs::clearShown();
        m_form->show();
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
        m_form->DtInventa->setMaskedText(QStringLiteral("06/12/2026"));
        m_form->CodEmpresa->setText(QStringLiteral("01"));
        m_form->CodCausa->setText(QStringLiteral("003"));
        m_form->btOK->setFocus();
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TestDatabase> m_database;
    std::unique_ptr<ui::TFConversao> m_form;
};
