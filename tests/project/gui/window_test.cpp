// The main window as a new user meets it: what each page shows on its first visit, help that
// answers, the keyboard shortcuts, a close asked for while a project loads, every action within
// reach at any width, the window at 800 × 600, where the file dialogs start, and what the empty
// states say.

#include <QAction>
#include <QButtonGroup>
#include <QComboBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QWidgetAction>

#include "gui_test_support.h"
#include "project/app_shell.h"
#include "project/driver.h"
#include "project/gui/qt_ui_host.h"
#include "project/record_rows.h"
#include "records/assembly.h"
#include "viewers/gui/russian_texts.h"

namespace tarvik::gui::testing {

namespace {

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

void ShowActive(TMainForm& form) {
  form.show();
  form.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&form));
}

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QVERIFY(demo_.Prepare()); }

  void init() { demo_.Fresh(); }

  // The list showed full paths only: clones, or two stations of one file, looked the same.
  void TheRecordTableTellsRecordsApartAndSortsByAColumn() {
    TMainForm form;
    QVERIFY(form.LoadStartupProject(Q(demo_.Demo())));
    ShowActive(form);
    TProject& p = form.Shell().Project();
    // Two stations read from one file, and a record whose file is gone.
    p.Records[1].File = p.Records[0].File;
    p.Records.push_back(p.Records[0]);
    p.Records[2].Station = "TVK00";
    p.Records[2].File = demo_.Work("demo/data/gone.msd");
    p.Records[2].Start -= 1.0;
    p.Records[2].Channels[1].Selected = false;
    form.RebuildAll();
    auto* table = FileTable(form);
    QCOMPARE(RowCount(table), 3);
    QCOMPARE(table->model()->columnCount(), kRecordColumnCount);
    QCOMPARE(table->model()->headerData(1, Qt::Horizontal).toString(), QString("Пункт"));
    QCOMPARE(RowText(table, 0, 0), RowText(table, 1, 0));
    QCOMPARE(RowText(table, 0, 1), QString("TVK01"));
    QCOMPARE(RowText(table, 1, 1), QString("TVK02"));
    QCOMPARE(RowText(table, 0, 2), QString("14.05.2024 00:00:00"));
    QCOMPARE(RowText(table, 0, 4), QString("E N Z"));
    QCOMPARE(RowText(table, 2, 4), QString("E Z"));
    const QModelIndex gone = table->model()->index(2, 0);
    QVERIFY(gone.data(Qt::ToolTipRole).toString().contains("не найден"));
    QVERIFY(!gone.data(Qt::DecorationRole).isNull());
    QVERIFY(table->model()->index(0, 0).data(Qt::DecorationRole).isNull());

    // A click on "Начало" sorts the records by their start, a second one the other way round;
    // the record selected stays selected where it went.
    SetCurrentRow(table, 1);
    p.Modified = false;
    QHeaderView* header = table->horizontalHeader();
    const auto click = [&](int column) {
      QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                        QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
      QApplication::processEvents();
    };
    click(2);
    QCOMPARE(RowText(table, 0, 1), QString("TVK00"));
    QVERIFY(p.Modified);
    QCOMPARE(p.Records[0].Station, std::string("TVK00"));
    QCOMPARE(header->sortIndicatorSection(), 2);
    QVERIFY(header->isSortIndicatorShown());
    QCOMPARE(SelectedRowCount(table), 1);
    QCOMPARE(RowText(table, table->currentIndex().row(), 1), QString("TVK02"));
    click(2);
    QCOMPARE(RowText(table, 2, 1), QString("TVK00"));
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
    click(1);
    QCOMPARE(p.Records[0].Station, std::string("TVK00"));
    QCOMPARE(p.Records[2].Station, std::string("TVK02"));
    // The sort menu stays, and its order takes the header's mark away.
    form.findChild<QAction*>("SortAll2")->trigger();
    QVERIFY(!header->isSortIndicatorShown());
  }

  // "Вариации" was empty on its first visit and "Показать графики" said there was nothing to
  // show until a radio button was toggled.
  void TheComparisonListIsFilledWhenItComesIntoView() {
    TMainForm form;
    QVERIFY(form.LoadStartupProject(Q(demo_.Demo())));
    ShowActive(form);
    auto* var = Find<QListWidget>(form, "VarListBox");
    QCOMPARE(var->count(), 0);
    Find<QTabWidget>(form, "ProcessingTabs")->setCurrentIndex(2);
    Find<QTabWidget>(form, "PageControl")->setCurrentIndex(1);
    QApplication::processEvents();
    QCOMPARE(var->count(), 2);
    QVERIFY(Find<QPushButton>(form, "VarShowButton")->isEnabled());
    // Another project open: the list names its files when it is shown again.
    Find<QTabWidget>(form, "PageControl")->setCurrentIndex(0);
    QVERIFY(form.LoadStartupProject(Q(demo_.Demo())));
    QCOMPARE(var->count(), 0);
    Find<QTabWidget>(form, "PageControl")->setCurrentIndex(1);
    QApplication::processEvents();
    QCOMPARE(var->count(), 2);
  }

  // With no program for PDF files (the offscreen platform has none) "Справка" did nothing.
  void HelpSaysWhereTheGuideIsWhenNothingOpensIt() {
    for (const bool guide_there : {false, true}) {
      QTemporaryDir program;
      if (guide_there) {
        QFile guide(program.path() + "/" + kHelpDocument);
        QVERIFY(guide.open(QIODevice::WriteOnly));
        guide.write("%PDF-1.4\n");
      }
      TMainForm form(program.path());
      ShowActive(form);
      DialogScript script;
      script.Ok();
      QTest::keyClick(&form, Qt::Key_F1);
      QTRY_VERIFY(script.Done());
      QCOMPARE(script.Texts.size(), size_t{1});
      const QString& text = script.Texts.front();
      if (guide_there) {
        QVERIFY2(text.contains(program.path() + "/" + kHelpDocument), qPrintable(text));
        QVERIFY2(text.contains("PDF"), qPrintable(text));
      } else {
        QVERIFY2(text.contains(kHelpDocument), qPrintable(text));
        QVERIFY2(text.contains("не найдено"), qPrintable(text));
      }
    }
  }

  void ProjectCommandsHaveTheirShortcuts() {
    TMainForm form;
    const std::vector<std::pair<const char*, QKeySequence>> expected = {
        {"NewAction", QKeySequence("Ctrl+N")},  {"OpenAction", QKeySequence("Ctrl+O")},
        {"SaveAction", QKeySequence("Ctrl+S")}, {"SaveAsAction", QKeySequence("Ctrl+Shift+S")},
        {"ExitAction", QKeySequence("Ctrl+Q")}, {"HelpAction", QKeySequence("F1")}};
    for (const auto& [name, keys] : expected) {
      auto* action = form.findChild<QAction*>(name);
      QVERIFY2(action != nullptr, name);
      QCOMPARE(action->shortcut(), keys);
    }
    // Ctrl+Q closes the window; a modified project is asked about first.
    QVERIFY(form.LoadStartupProject(Q(demo_.Demo())));
    ShowActive(form);
    form.Shell().Project().Modified = true;
    DialogScript script;
    script.Cancel();
    QTest::keyClick(&form, Qt::Key_Q, Qt::ControlModifier);
    QTRY_VERIFY(script.Done());
    QVERIFY(form.isVisible());
    script.No();
    // The offscreen platform does not give the window back its focus after a message box.
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QTest::keyClick(&form, Qt::Key_Q, Qt::ControlModifier);
    QTRY_VERIFY(!form.isVisible());
  }

  // Qt's standard buttons spoke English in a Russian window.
  void StandardButtonsSpeakRussian() {
    QVERIFY(InstallQtRussian(*QCoreApplication::instance()));
    QMessageBox box(QMessageBox::Question, "", "",
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    const auto text = [&](QMessageBox::StandardButton b) {
      return box.button(b)->text().remove('&');
    };
    QCOMPARE(text(QMessageBox::Yes), QString("Да"));
    QCOMPARE(text(QMessageBox::No), QString("Нет"));
    QCOMPARE(text(QMessageBox::Cancel), QString("Отмена"));
  }

  // "Сортировать" was a widget in the tool bar: at the default width it was neither shown nor in
  // the "››" menu of what does not fit.
  void EveryRecordActionIsReachableAtEveryWidth() {
    TMainForm form;
    QVERIFY(form.LoadStartupProject(Q(demo_.Demo())));
    auto* tools = Find<QToolBar>(form, "RecordsToolBar");
    int actions = 0;
    for (QAction* a : tools->actions()) {
      if (a->isSeparator()) continue;
      ++actions;
      QVERIFY2(qobject_cast<QWidgetAction*>(a) == nullptr, qPrintable(a->text()));
    }
    QCOMPARE(actions, 12);
    for (const int width : {640, 800, 1000, 1600}) {
      form.resize(width, 600);
      ShowActive(form);
      QApplication::processEvents();
      auto* more = tools->findChild<QToolButton*>("qt_toolbar_ext_button");
      QVERIFY(more != nullptr);
      for (QAction* a : tools->actions()) {
        if (a->isSeparator()) continue;
        QWidget* shown = tools->widgetForAction(a);
        const bool in_bar = shown != nullptr && shown->isVisible();
        const bool in_more =
            more->isVisible() && more->menu() != nullptr && more->menu()->actions().contains(a);
        QVERIFY2(in_bar || in_more, qPrintable(QString("%1 at %2 px").arg(a->text()).arg(width)));
      }
    }
    // The sort keys are there too, as a submenu where the bar holds no button for them.
    auto* sort = form.findChild<QAction*>("SortAction");
    QVERIFY(sort != nullptr && sort->menu() != nullptr);
    QCOMPARE(sort->menu()->actions().size(), 2);
  }

  // The window was at least 837 × 610, clipped the channel editor and the settings chart when
  // forced smaller, and widened itself when the estimation type changed.
  void TheWindowFitsEightHundredBySixHundred() {
    TMainForm form;
    QVERIFY(form.LoadStartupProject(Q(demo_.Demo())));
    form.resize(800, 600);
    ShowActive(form);
    auto* pages = Find<QTabWidget>(form, "PageControl");
    for (int i = 0; i < pages->count(); ++i) {
      pages->setCurrentIndex(i);
      QApplication::processEvents();
      QCOMPARE(form.size(), QSize(800, 600));
      auto* area = qobject_cast<QScrollArea*>(pages->widget(i));
      QVERIFY(area != nullptr);
      // What the page needs is shown, scrolled where the window is smaller.
      QWidget* page = area->widget();
      QVERIFY(page->width() >= page->minimumSizeHint().width());
      QVERIFY(page->height() >= page->minimumSizeHint().height());
    }
    QVERIFY(form.minimumSizeHint().width() <= 800);
    QVERIFY(form.minimumSizeHint().height() <= 600);
    pages->setCurrentIndex(2);
    QApplication::processEvents();
    QList<QRadioButton*> radios;
    for (int i = 0; i < 2; ++i)
      radios << Find<QRadioButton>(form, qPrintable(QString("EstTypeRadioGroup%1").arg(i)));
    QCOMPARE(radios.size(), 2);
    for (QRadioButton* r : {radios[0], radios[1], radios[0]}) {
      r->click();
      QApplication::processEvents();
      QCOMPARE(form.size(), QSize(800, 600));
    }
  }

  // "Добавить" opened in the program's working folder; the viewer's dialogs nowhere in
  // particular; "Формат данных" listed bare extensions.
  void DialogsStartInTheProjectsFolder() {
    TMainForm form;
    QVERIFY(form.LoadStartupProject(Q(demo_.Demo())));
    ShowActive(form);
    const QString folder = Q(form.Shell().Project().Folder);
    QVERIFY(QDir(folder).exists());
    QVERIFY(QDir::currentPath() != folder);
    DialogScript script;
    QString directory, first_filter;
    script.Then([&](QWidget* w) {
      auto* dialog = qobject_cast<QFileDialog*>(w);
      QVERIFY(dialog != nullptr);
      directory = dialog->directory().absolutePath();
      first_filter = dialog->nameFilters().value(0);
      dialog->reject();
    });
    form.findChild<QAction*>("AddAction")->trigger();
    QTRY_VERIFY(script.Done());
    QCOMPARE(QDir(directory).canonicalPath(), QDir(folder).canonicalPath());
    QVERIFY2(first_filter.startsWith("Все поддерживаемые форматы"), qPrintable(first_filter));

    auto* format = Find<QComboBox>(form, "FormatComBox");
    QCOMPARE(format->count(), static_cast<int>(kDataFormats.size()));
    for (int i = 0; i < format->count(); ++i) {
      const QString item = format->itemText(i);
      QVERIFY2(item.endsWith("(" + Q(std::string(kDataFormats[static_cast<size_t>(i)])) + ")"),
               qPrintable(item));
      QVERIFY2(item.at(0).isLetter(), qPrintable(item));
    }
  }

  // "ЧХД" with no sensor file showed an empty chart; "П о к а з а т ь" without results said
  // only that a file does not exist.
  void EmptyStatesSayWhatIsMissing() {
    TMainForm form;
    QVERIFY(form.LoadStartupProject(Q(demo_.Demo())));
    ShowActive(form);
    // The demo's channels have channel responses only.
    SetCurrentRow(FileTable(form), 0);
    QApplication::processEvents();
    DialogScript script;
    script.Ok();
    QTest::mouseClick(Find<QPushButton>(form, "ResponseView0Button"), Qt::LeftButton);
    QTRY_VERIFY(script.Done());
    QVERIFY(script.Saw("датчика"));

    Find<QTabWidget>(form, "PageControl")->setCurrentIndex(1);
    auto* prim = Find<QListWidget>(form, "PrimListBox");
    prim->setCurrentRow(1);
    QApplication::processEvents();
    script.Ok();
    QTest::mouseClick(Find<QPushButton>(form, "PrimShowButton"), Qt::LeftButton);
    QTRY_VERIFY(script.Done());
    const QString path = Q(PrimaryResultPath(form.Shell().Project(), form.Shell().Folders(),
                                             form.Shell().Project().Records[1]));
    QVERIFY2(script.Texts.back().contains(path), qPrintable(script.Texts.back()));
    QVERIFY(script.Texts.back().contains("Выполните расчет"));
    QVERIFY(script.Unexpected.empty());
  }

  // A close asked for while the project file was read was dropped.
  void ACloseAskedForDuringTheLoadIsCarriedOut() {
    TMainForm form;
    ShowActive(form);
    int asked = 0;
    connect(&form.Host(), &TQtUiHost::StageShown, this, [&] {
      if (asked++ == 0) QVERIFY(!form.close());
    });
    QVERIFY(form.LoadStartupProject(Q(demo_.Demo())));
    QVERIFY(asked > 0);
    // The project is shown loaded, then the window closes.
    QCOMPARE(form.Shell().Project().Records.size(), size_t{2});
    QTRY_VERIFY(!form.isVisible());
  }

 private:
  DemoWorkspace demo_;
};

}  // namespace tarvik::gui::testing

QTEST_MAIN(tarvik::gui::testing::WindowTest)
#include "window_test.moc"
