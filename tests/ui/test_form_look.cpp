#include "FormFixture.h"
#include "conversion/RejectionList.h"
#include "tests/TestMain.h"
#include "ui/MaskEdit.h"
#include "ui/Translations.h"

#include <QDialogButtonBox>
#include <QDirIterator>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionGroupBox>
#include <QTableView>
#include <QTimer>

namespace {
QString shownText(QString caption) {
    return caption.remove(QLatin1Char('&'));
}

// Every caption on show, with the room it has and the room it needs; empty when all fit.
QStringList clippedCaptions(QWidget* form) {
    QStringList clipped;
    const auto report = [&](QWidget* control, const QString& text, int need, int room) {
        if (need > room)
            clipped << QStringLiteral("%1 \"%2\": needs %3, has %4")
                           .arg(control->objectName(), text)
                           .arg(need)
                           .arg(room);
    };
    for (QLabel* label : form->findChildren<QLabel*>()) {
        if (!label->isVisibleTo(form) || label->text().isEmpty())
            continue;
        const QFontMetrics metrics = label->fontMetrics();
        const QRect room = label->contentsRect();
        report(label, label->text(), metrics.horizontalAdvance(label->text()), room.width());
        report(label, label->text(), metrics.height(), room.height());
    }
    for (QPushButton* button : form->findChildren<QPushButton*>()) {
        if (!button->isVisibleTo(form) || button->text().isEmpty())
            continue;
        const QString text = shownText(button->text());
        const int margin = button->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button);
        const int icon = button->icon().isNull() ? 0 : button->iconSize().width() + 4;
        report(button, text, button->fontMetrics().horizontalAdvance(text) + icon + 2 * margin,
               button->width());
    }
    for (QTableView* grid : form->findChildren<QTableView*>()) {
        if (!grid->isVisibleTo(form))
            continue;
        QHeaderView* header = grid->horizontalHeader();
        const int margin = header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
        for (int column = 0; column < header->count(); ++column) {
            const QString text = grid->model()->headerData(column, Qt::Horizontal).toString();
            report(grid, text, header->fontMetrics().horizontalAdvance(text) + 2 * margin,
                   header->sectionSize(column));
        }
    }
    for (QGroupBox* group : form->findChildren<QGroupBox*>()) {
        if (!group->isVisibleTo(form))
            continue;
        QStyleOptionGroupBox option;
        option.initFrom(group);
        option.text = group->title();
        option.subControls = QStyle::SC_GroupBoxLabel;
        option.features = group->isFlat() ? QStyleOptionFrame::Flat : QStyleOptionFrame::None;
        const QRect title = group->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                           QStyle::SC_GroupBoxLabel, group);
        report(group, group->title(), title.right() + 1, group->width());
        // The blanks around a title are padding; its letters must fit.
        const QString letters = group->title().trimmed();
        report(group, letters, group->fontMetrics().horizontalAdvance(letters), title.width());
    }
    return clipped;
}
} // namespace

class TestFormLook : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { FormFixture::prepareEnvironment(); }

    void windowAndLogo() {
        FormFixture fixture;
        QVERIFY(fixture.open());
        ui::TFConversao& form = fixture.form();
        QCOMPARE(form.size(), QSize(463, 317));
        // A normal window, which the taskbar lists, with a caption that has the close button only.
        QCOMPARE(form.windowType(), Qt::Window);
        QCOMPARE(form.windowFlags() & (Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint),
                 Qt::WindowFlags(Qt::WindowCloseButtonHint));
        QCOMPARE(form.minimumSize(), form.maximumSize());
        const QPixmap logo(QStringLiteral(":/images/logo.png"));
        QCOMPARE(logo.size(), QSize(186, 83));
        QVERIFY(logo.hasAlphaChannel());
        QCOMPARE(form.ImgLogo->pixmap().size(), QSize(186, 83));
        QCOMPARE(form.ImgLogo->geometry(), QRect(3, 2, 164, 60));
        QVERIFY(!form.btAbrir->icon().isNull());
        QVERIFY(!form.btOK->icon().isNull());
        fixture.close();
    }

    // The window shows the icon the menu entry installs, at every size installed.
    void windowIconIsTheInstalledIcon() {
        FormFixture fixture;
        QVERIFY(fixture.open());
        const QIcon shown = fixture.form().windowIcon();
        QDirIterator installed(QStringLiteral(COLETOR_ICON_DIR), {QStringLiteral("*.png")},
                               QDir::Files, QDirIterator::Subdirectories);
        int sizes = 0;
        while (installed.hasNext()) {
            const QString path = installed.next();
            const QImage expected =
                QImage(path).convertToFormat(QImage::Format_ARGB32_Premultiplied);
            QVERIFY2(shown.pixmap(expected.size())
                             .toImage()
                             .convertToFormat(QImage::Format_ARGB32_Premultiplied) == expected,
                     qPrintable(path));
            ++sizes;
        }
        QVERIFY(sizes > 0);
        fixture.close();
    }

    // Qt's own texts (standard buttons, file dialogs) follow the workstation's language where
    // Qt ships a translation (qt6-translations-l10n), and stay in English where it ships none.
    void qtTextsInTheWorkstationsLanguage_data() {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<bool>("translated");
        QTest::addColumn<QString>("cancel");
        QTest::newRow("Brazilian Portuguese")
            << QLocale(QLocale::Portuguese, QLocale::Brazil) << true << "Cancelar";
        QTest::newRow("a language Qt has no texts for")
            << QLocale(QLocale::Swahili, QLocale::Kenya) << false << "Cancel";
    }
    void qtTextsInTheWorkstationsLanguage() {
        QFETCH(QLocale, locale);
        QFETCH(bool, translated);
        QFETCH(QString, cancel);
        const std::unique_ptr<QTranslator> texts = ui::loadQtTranslations(locale);
        QVERIFY2(bool(texts) == translated,
                 "Qt's translations are missing: install qt6-translations-l10n");
        if (texts)
            QCoreApplication::installTranslator(texts.get());
        const QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        QCOMPARE(buttons.button(QDialogButtonBox::Cancel)->text(), cancel);
    }

    void closingTheWindowEndsTheProgram() {
        FormFixture fixture;
        QVERIFY(fixture.open());
        ui::TFConversao& form = fixture.form();
        QTimer::singleShot(0, &form, [&form] { form.close(); });
        // Only the window's closing can end the loop with 0.
        QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(1); });
        QCOMPARE(QCoreApplication::exec(), 0);
        fixture.close();
    }

    // Each display state on each tab, with every caption whole. With COLETOR_SHOTS set to a
    // folder, the window is also saved there as a picture to look at.
    void captionsFit_data() {
        QTest::addColumn<int>("tab");
        QTest::addColumn<bool>("lists");
        QTest::newRow("inventory entry") << 0 << false;
        QTest::newRow("opening-stock entry") << 1 << false;
        QTest::newRow("inventory list") << 0 << true;
        QTest::newRow("opening-stock list") << 1 << true;
    }
    void captionsFit() {
        QFETCH(int, tab);
        QFETCH(bool, lists);
        FormFixture fixture;
        QVERIFY(fixture.open());
        ui::TFConversao& form = fixture.form();
        form.PcDados->setCurrentIndex(tab);
        if (lists) {
            fixture.showLists();
            form.inventoryRejections()->add(QStringLiteral("7891234567890"),
                                            QStringLiteral("Referência não encontrada."));
            form.openingRejections()->add(QStringLiteral("ABC-1"),
                                          QStringLiteral("Existe movimentos com este produto."));
        }
        const QString shots = qEnvironmentVariable("COLETOR_SHOTS");
        if (!shots.isEmpty()) {
            QString name = QString::fromLatin1(QTest::currentDataTag()) + QStringLiteral(".png");
            name.replace(QLatin1Char(' '), QLatin1Char('_'));
            QVERIFY(form.grab().save(QDir(shots).filePath(name)));
        }
        const QStringList clipped = clippedCaptions(&form);
        QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(QLatin1Char('\n'))));
        // Each label of the entry fields keeps some room before the field beside it.
        if (!lists) {
            for (QGroupBox* group : {form.GroupBox1, form.GroupBox2}) {
                if (!group->isVisible())
                    continue;
                for (QLabel* label : group->findChildren<QLabel*>()) {
                    const int end = label->mapTo(&form, QPoint(label->width(), 0)).x();
                    QVERIFY2(form.DtInventa->x() - end >= 3,
                             qPrintable(label->text() + QStringLiteral(" ends at ") +
                                        QString::number(end)));
                }
            }
        }
        fixture.close();
    }
};

COLETOR_TEST_MAIN(TestFormLook)
#include "test_form_look.moc"
