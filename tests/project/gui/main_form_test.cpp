// The main window driven through its widgets: the project commands, the recent projects, the
// placement, the processing lists and the runs.

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <fstream>
#include <iterator>

#include "gui_test_support.h"
#include "project/driver.h"
#include "project/gui/qt_ui_host.h"

namespace tarvik::gui::testing {

namespace fs = std::filesystem;

namespace {

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Shows the window and makes it the active one, as a person's window would be.
void ShowActive(TMainForm& form) {
  form.show();
  form.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&form));
}

void ShowProcessing(TMainForm& form, int tab) {
  Find<QTabWidget>(form, "PageControl")->setCurrentIndex(1);
  Find<QTabWidget>(form, "ProcessingTabs")->setCurrentIndex(tab);
  QApplication::processEvents();
}

QString Stage(TMainForm& form) {
  return Find<QLabel>(form, "MainStatusPanel1")->text();
}

std::vector<bool> Marks(QListWidget* list) {
  std::vector<bool> out;
  for (int i = 0; i < list->count(); ++i) out.push_back(list->item(i)->checkState() == Qt::Checked);
  return out;
}

// A click on a check box's mark, where a person clicks it.
void Click(QCheckBox* box) {
  QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
}

QAction* Action(TMainForm& form, const char* name) {
  return form.findChild<QAction*>(name);
}

// Clicks a run button and waits for the run it starts to end.
bool RunAndWait(TMainForm& form, const char* button) {
  QSignalSpy finished(&form, &TMainForm::RunFinished);
  QTest::mouseClick(Find<QPushButton>(form, button), Qt::LeftButton);
  return finished.count() > 0 || finished.wait(120000);
}

// Takes the URLs the desktop would open.
class UrlCatcher : public QObject {
  Q_OBJECT

 public slots:
  void Open(const QUrl& url) { Urls.push_back(url); }

 public:
  std::vector<QUrl> Urls;
};

}  // namespace

class MainFormTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QVERIFY(demo_.Prepare()); }

  void init() { demo_.Fresh(); }

  void StartupProjectFillsThePages() {
    TMainForm form;
    QVERIFY(form.LoadStartupProject(Q(Demo())));
    QCOMPARE(form.windowTitle(), Q(Demo()));
    const TProject& p = form.Shell().Project();
    QCOMPARE(p.Records.size(), size_t{2});
    auto* files = FileTable(form);
    QCOMPARE(RowCount(files), 2);
    QCOMPARE(RowText(files, 1), Q(p.Records[1].File));
    auto* prim = Find<QListWidget>(form, "PrimListBox");
    QCOMPARE(prim->item(0)->text(), Q(PrimaryEntryText(p.Records[0])));
    QCOMPARE(Find<QListWidget>(form, "NakListBox")->item(1)->text(), Q(HVEntryText(p.Records[1])));
    QCOMPARE(Find<QLineEdit>(form, "DirectoryEdit")->text(), Q(Work("demo/results")));
    QCOMPARE(Stage(form), QString("Проект успешно загружен"));
    QCOMPARE(form.findChild<QAction*>("RecentAction1")->text(), "&1 " + Q(Demo()));
  }

  void HelpOpensTheGuideAndAboutNamesTheVersion() {
    const QString program = Q(Work("program"));
    QDir().mkpath(program);
    std::ofstream(Work("program/Tarvik.pdf")) << "%PDF-1.4";
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("file", &catcher, "Open");
    TMainForm form(program);
    Action(form, "HelpAction")->trigger();
    QDesktopServices::unsetUrlHandler("file");
    QCOMPARE(catcher.Urls.size(), size_t{1});
    QCOMPARE(catcher.Urls[0], QUrl::fromLocalFile(program + "/Tarvik.pdf"));
    DialogScript script;
    script.Ok();
    Action(form, "AboutAction")->trigger();
    QVERIFY(script.Done());
    QVERIFY(script.Texts[0].contains("Tarvik 1.3.0"));
  }

  void ForAllBoxesAndTheMask() {
    TMainForm form;
    QVERIFY(form.LoadStartupProject(Q(Demo())));
    ShowActive(form);
    ShowProcessing(form, 0);
    auto* list = Find<QListWidget>(form, "PrimListBox");
    auto* all = Find<QCheckBox>(form, "PrimCheckBox");
    TProject& p = form.Shell().Project();
    QCOMPARE(all->checkState(), Qt::Checked);

    Click(all);
    QCOMPARE(Marks(list), (std::vector<bool>{false, false}));
    QVERIFY(!p.Records[0].ToProcess && !p.Records[1].ToProcess);
    QVERIFY(p.Modified);
    QTRY_COMPARE(form.windowTitle(), Q(Demo()) + "*");

    // One mark by the keyboard: the box turns grey; a click on it checks everything.
    list->setFocus();
    list->setCurrentRow(1);
    QTest::keyClick(list, Qt::Key_Space);
    QCOMPARE(Marks(list), (std::vector<bool>{false, true}));
    QVERIFY(p.Records[1].ToProcess);
    QCOMPARE(all->checkState(), Qt::PartiallyChecked);
    Click(all);
    QCOMPARE(Marks(list), (std::vector<bool>{true, true}));
    QCOMPARE(all->checkState(), Qt::Checked);

    // The mask checks the entries that contain the text, case counting; Cancel does nothing.
    Click(all);
    DialogScript script;
    script.Input("TVK02");
    script.CancelDialog();
    script.Input("tvk01");
    auto* mask = Find<QPushButton>(form, "PrimMaskButton");
    QTest::mouseClick(mask, Qt::LeftButton);
    QCOMPARE(Marks(list), (std::vector<bool>{false, true}));
    QVERIFY(!p.Records[0].ToProcess && p.Records[1].ToProcess);
    QCOMPARE(all->checkState(), Qt::PartiallyChecked);
    QTest::mouseClick(mask, Qt::LeftButton);
    QTest::mouseClick(mask, Qt::LeftButton);
    QCOMPARE(Marks(list), (std::vector<bool>{false, true}));
    QVERIFY(script.Done());
    QCOMPARE(script.Texts.front(), QString("Tarvik|Введите текст для поиска"));

    // The H/V list has its own box and flags.
    ShowProcessing(form, 1);
    auto* nak_all = Find<QCheckBox>(form, "NakCheckBox");
    Click(nak_all);
    QVERIFY(!p.Records[0].ToProcessNakamura && !p.Records[1].ToProcessNakamura);
    QVERIFY(p.Records[1].ToProcess);

    // The comparison list offers every record's file, checked when it exists.
    ShowProcessing(form, 2);
    QTest::mouseClick(Find<QRadioButton>(form, "RelRadioButton"), Qt::LeftButton);
    auto* var = Find<QListWidget>(form, "VarListBox");
    QCOMPARE(var->count(), 2);
    QCOMPARE(var->item(0)->text(), Q(RatioFilePath(form.Shell().Folders(), p.Records[0])));
    QCOMPARE(Marks(var), (std::vector<bool>{false, false}));
    QCOMPARE(Find<QCheckBox>(form, "VarCheckBox")->checkState(), Qt::Unchecked);
    QVERIFY(script.Unexpected.empty());
  }

  void RunsWriteWhatTheCommandLineWrites() {
    TMainForm form;
    QVERIFY(form.LoadStartupProject(Q(Demo())));
    ShowActive(form);
    ShowProcessing(form, 0);
    DialogScript script;
    QVERIFY(RunAndWait(form, "PrimCalcButton"));
    QCOMPARE(Stage(form), QString("Расчет спектров завершен"));
    QCOMPARE(Find<QPushButton>(form, "PrimCalcButton")->text(), QString(kRunCaption));
    ShowProcessing(form, 1);
    QVERIFY(RunAndWait(form, "NakCalcButton"));
    QCOMPARE(Stage(form), QString("Расчет спектров Накамуры завершен"));
    QVERIFY(script.Unexpected.empty());

    const std::string results = Work("demo/results");
    const std::vector<std::string> files = FilesUnder(results);
    QCOMPARE(files.size(), size_t{4});
    std::vector<std::string> window_bytes;
    for (const std::string& f : files) window_bytes.push_back(Bytes(results + "/" + f));
    fs::remove_all(results);

    QProcess cli;
    cli.start(TARVIK_CLI_PATH, {"run", Q(Demo()), "--yes"});
    QVERIFY(cli.waitForFinished(120000));
    QCOMPARE(cli.exitCode(), 0);
    QCOMPARE(FilesUnder(results), files);
    for (size_t i = 0; i < files.size(); ++i) {
      QVERIFY2(Bytes(results + "/" + files[i]) == window_bytes[i], files[i].c_str());
    }
  }

  void StopDuringTheSecondRecord() {
    TMainForm form;
    QVERIFY(form.LoadStartupProject(Q(Demo())));
    ShowActive(form);
    ShowProcessing(form, 0);
    auto* calc = Find<QPushButton>(form, "PrimCalcButton");
    QString caption_while_running;
    bool stopped = false;
    // The run waits while a stage text is shown, so the stop lands inside the second record.
    connect(&form.Host(), &TQtUiHost::StageShown, this, [&](const QString& text) {
      if (stopped || !text.startsWith("TVK02")) return;
      stopped = true;
      caption_while_running = calc->text();
      QTest::mouseClick(calc, Qt::LeftButton);
    });
    QVERIFY(RunAndWait(form, "PrimCalcButton"));
    QVERIFY(stopped);
    QCOMPARE(caption_while_running, QString(kStopCaption));
    QCOMPARE(calc->text(), QString(kRunCaption));
    QCOMPARE(Stage(form), QString("Расчет спектров отменен"));
    QCOMPARE(FilesUnder(Work("demo/results")),
             (std::vector<std::string>{"Spectra/Primary/prim_TVK01_240514-000000.dat"}));
  }

  void EscapeAsksBeforeStopping() {
    TMainForm form;
    QVERIFY(form.LoadStartupProject(Q(Demo())));
    ShowActive(form);
    ShowProcessing(form, 0);
    DialogScript script;
    script.No();
    script.Yes();
    int asked = 0;
    connect(&form.Host(), &TQtUiHost::StageShown, this, [&](const QString& text) {
      // No on the first record: the run goes on; Yes on the second: it stops.
      if ((asked == 0 && text.startsWith("TVK01")) || (asked == 1 && text.startsWith("TVK02"))) {
        ++asked;
        // The offscreen platform does not give the window back its focus after a message box.
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QTest::keyClick(&form, Qt::Key_Escape);
      }
    });
    QVERIFY(RunAndWait(form, "PrimCalcButton"));
    QCOMPARE(asked, 2);
    QVERIFY(script.Done());
    QCOMPARE(script.Texts.front(), QString(kStopQuestion));
    QCOMPARE(Stage(form), QString("Расчет спектров отменен"));
    QCOMPARE(FilesUnder(Work("demo/results")).size(), size_t{1});
    // Without a run Esc asks nothing.
    QTest::keyClick(&form, Qt::Key_Escape);
    QTest::qWait(50);
    QVERIFY(script.Unexpected.empty());
  }

  void SaveAsTextAndBinaryAndReopenFromTheRecentList() {
    TMainForm form;
    QVERIFY(form.LoadStartupProject(Q(Demo())));
    ShowActive(form);
    const TProject original = form.Shell().Project();
    DialogScript script;
    script.File(Q(Work("as_text.tvp")), 0);
    script.File(Q(Work("as_binary")), 1);
    Action(form, "SaveAsAction")->trigger();
    Action(form, "SaveAsAction")->trigger();
    QVERIFY(script.Done());
    QCOMPARE(ProbeProjectFormat(Work("as_text.tvp")), 0);
    QCOMPARE(ProbeProjectFormat(Work("as_binary.tvp")), 1);
    QCOMPARE(form.windowTitle(), Q(Work("as_binary.tvp")));

    // Recent: 1 binary, 2 text, 3 the project loaded first.
    QCOMPARE(Action(form, "RecentAction1")->text(), "&1 " + Q(Work("as_binary.tvp")));
    QCOMPARE(Action(form, "RecentAction2")->text(), "&2 " + Q(Work("as_text.tvp")));
    QCOMPARE(Action(form, "RecentAction3")->text(), "&3 " + Q(Demo()));
    for (const char* recent : {"RecentAction2", "RecentAction1"}) {
      Action(form, recent)->trigger();
      const TProject& p = form.Shell().Project();
      QCOMPARE(p.Records.size(), original.Records.size());
      for (size_t i = 0; i < p.Records.size(); ++i) {
        QCOMPARE(p.Records[i].File, original.Records[i].File);
        QCOMPARE(p.Records[i].Channels[2].ChannelResp, original.Records[i].Channels[2].ChannelResp);
        QCOMPARE(p.Records[i].Channels[1].Level, original.Records[i].Channels[1].Level);
      }
      QCOMPARE(p.General.ResultDir, original.General.ResultDir);
    }
    // Reopening a listed project keeps the order of the list.
    QCOMPARE(Action(form, "RecentAction1")->text(), "&1 " + Q(Work("as_binary.tvp")));
    QVERIFY(script.Unexpected.empty());
  }

  void TheEleventhProjectPushesTheOldestOut() {
    std::vector<std::string> paths;
    for (int i = 1; i <= 11; ++i) {
      TProject p;
      NullUiHost host;
      const SaveResult saved = SaveProject(p, Work("p" + std::to_string(i) + ".tvp"), 0, host);
      QVERIFY(saved.Ok);
      paths.push_back(saved.FileName);
    }
    {
      TMainForm form;
      DialogScript script;
      for (const std::string& p : paths) {
        script.File(Q(p));
        Action(form, "OpenAction")->trigger();
      }
      QVERIFY(script.Done());
      QCOMPARE(Action(form, "RecentAction1")->text(), "&1 " + Q(paths[10]));
      QCOMPARE(Action(form, "RecentAction10")->text(), "&10 " + Q(paths[1]));
      QVERIFY(Action(form, "RecentAction11") == nullptr);
      QCOMPARE(Action(form, "RecentAction1")->toolTip(), Q(paths[10]));
    }
    QSettings settings(kSettingsOrganisation, kSettingsApplication);
    QCOMPARE(settings.value("Recent Files/File1").toString(), Q(paths[10]));
    QCOMPARE(settings.value("Recent Files/File10").toString(), Q(paths[1]));
    QVERIFY(!settings.contains("Recent Files/File11"));
    // A new window reads the same list.
    TMainForm again;
    QCOMPARE(Action(again, "RecentAction10")->text(), "&10 " + Q(paths[1]));
  }

  void CloseQuery() {
    NullUiHost host;
    TProject other_project;
    const std::string other = SaveProject(other_project, Work("other.tvp"), 0, host).FileName;
    auto form = std::make_unique<TMainForm>();
    QVERIFY(form->LoadStartupProject(Q(Demo())));
    QVERIFY(form->LoadStartupProject(Q(other)));
    QVERIFY(form->LoadStartupProject(Q(Demo())));
    ShowActive(*form);
    auto* edge = Find<QCheckBox>(*form, "EdgeCheckBox");
    Find<QTabWidget>(*form, "PageControl")->setCurrentIndex(2);
    Click(edge);
    QVERIFY(form->Shell().Project().Modified);

    DialogScript script;
    // Cancel on a recent project opens nothing.
    script.Cancel();
    Action(*form, "RecentAction2")->trigger();
    QCOMPARE(form->Shell().Project().FileName, Demo());
    QVERIFY(form->Shell().Project().Modified);
    // No on "Закрыть": closed without saving.
    script.No();
    Action(*form, "CloseAction")->trigger();
    QVERIFY(form->Shell().Project().Records.empty());
    QCOMPARE(Find<QListWidget>(*form, "PrimListBox")->count(), 0);
    QCOMPARE(form->windowTitle(), QString(kAppTitle));
    TProject reread;
    QCOMPARE(LoadProject(reread, Demo(), host).Kind, LoadStatus::kLoaded);
    QCOMPARE(reread.Settings[0].EdgeEffect, false);
    // Yes on "Новый": saved first.
    QVERIFY(form->LoadStartupProject(Q(Demo())));
    Click(edge);
    script.Yes();
    Action(*form, "NewAction")->trigger();
    QCOMPARE(form->Shell().Project().FileName, std::string(kNoName));
    QCOMPARE(LoadProject(reread, Demo(), host).Kind, LoadStatus::kLoaded);
    QCOMPARE(reread.Settings[0].EdgeEffect, true);
    // Closing the window: Cancel keeps it, No closes it.
    QVERIFY(form->LoadStartupProject(Q(Demo())));
    Click(edge);
    script.Cancel();
    QVERIFY(!form->close());
    QVERIFY(form->isVisible());
    script.No();
    QVERIFY(form->close());
    QVERIFY(script.Done());
    QCOMPARE(script.Texts.size(), size_t{5});
    QCOMPARE(script.Texts.back(), QString(kCloseQuery));
    QVERIFY(script.Unexpected.empty());
  }

  void PlacementIsRestored() {
    {
      TMainForm form;
      form.setGeometry(50, 60, 810, 620);
    }
    QSettings settings(kSettingsOrganisation, kSettingsApplication);
    QCOMPARE(settings.value("Desktop/Left").toString(), QString("50"));
    QCOMPARE(settings.value("Desktop/Maximized").toString(), QString("0"));
    {
      TMainForm form;
      QCOMPARE(form.geometry(), QRect(50, 60, 810, 620));
      ShowActive(form);
      form.showMaximized();
      QTRY_VERIFY(form.isMaximized());
    }
    settings.sync();
    QCOMPARE(settings.value("Desktop/Maximized").toString(), QString("1"));
    QCOMPARE(settings.value("Desktop/Width").toString(), QString("810"));
    {
      TMainForm form;
      QVERIFY(form.windowState() & Qt::WindowMaximized);
      ShowActive(form);
      form.showNormal();
      QTRY_COMPARE(form.geometry(), QRect(50, 60, 810, 620));
    }
  }

  void DamagedProjectsLeaveTheOpenOne() {
    const std::string junk = Work("junk.tvp");
    std::ofstream(junk) << "nothing of a project";
    NullUiHost host;
    TProject demo;
    QCOMPARE(LoadProject(demo, Demo(), host).Kind, LoadStatus::kLoaded);
    const std::string binary = SaveProject(demo, Work("full.tvp"), 1, host).FileName;
    const std::string bytes = Bytes(binary);
    const std::string cut = Work("cut.tvp");
    std::ofstream(cut, std::ios::binary) << bytes.substr(0, bytes.size() / 2);

    DialogScript script;
    TMainForm form;
    // From the command line: a message, and the new project stays.
    script.Ok();
    QVERIFY(!form.LoadStartupProject(Q(junk)));
    QCOMPARE(form.Shell().Project().FileName, std::string(kNoName));
    QVERIFY(script.Saw("Неизвестная версия файла"));

    QVERIFY(form.LoadStartupProject(Q(Demo())));
    script.File(Q(junk));
    script.Ok();
    Action(form, "OpenAction")->trigger();
    QCOMPARE(form.Shell().Project().FileName, Demo());
    QCOMPARE(RowCount(FileTable(form)), 2);

    // Broken off half way: refused as damaged, and the open project stays.
    script.File(Q(cut));
    script.Ok();
    Action(form, "OpenAction")->trigger();
    QVERIFY(script.Done());
    QVERIFY(script.Saw("поврежден: байт"));
    QCOMPARE(form.Shell().Project().FileName, Demo());
    QVERIFY(script.Unexpected.empty());
  }

  // Recordings that start 0.7 s into a second, added from a folder through the window: their
  // spectra are found again after the project is saved as text and reopened.
  void SelectionStartKeepsItsResultFilesAfterATextReopen() {
    const std::string late =
        WriteDemoProject(Work("late"), 120.0, EncodeDateTime(2024, 5, 14, 0, 0, 0, 700));
    QVERIFY(!late.empty());
    TProject described;
    NullUiHost host;
    QCOMPARE(LoadProject(described, late, host).Kind, LoadStatus::kLoaded);

    TMainForm form;
    ShowActive(form);
    auto* pages = Find<QTabWidget>(form, "PageControl");
    pages->setCurrentIndex(3);
    auto* format = Find<QComboBox>(form, "FormatComBox");
    format->setFocus();
    while (!format->currentText().endsWith("(.msd)")) QTest::keyClick(format, Qt::Key_Down);
    QCOMPARE(form.Shell().Project().General.DataFormat, 7);
    auto* dir = Find<QLineEdit>(form, "DirectoryEdit");
    dir->selectAll();
    QTest::keyClicks(dir, Q(Work("late/results")));

    pages->setCurrentIndex(0);
    DialogScript script;
    script.File(Q(Work("late/data")));
    Action(form, "AddFolderAction")->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(RowCount(FileTable(form)), 2, 60000);
    TProject& p = form.Shell().Project();
    for (size_t i = 0; i < p.Records.size(); ++i) {
      QCOMPARE(QString::fromStdString(FormatDateTime("hh:nn:ss.zzz", p.Records[i].Start)),
               QString("00:00:00.700"));
      QCOMPARE(QString::fromStdString(FormatDateTime("hh:nn:ss.zzz", p.Records[i].SelectStart)),
               QString("00:00:01.000"));
      // The channels as the demo describes them.
      TFileRecord& r = p.Records[i];
      const TFileRecord& d = described.Records[i];
      for (size_t c = 0; c < r.Channels.size() && c < d.Channels.size(); ++c) {
        r.Channels[c].Selected = d.Channels[c].Selected;
        r.Channels[c].ChannelResp = d.Channels[c].ChannelResp;
        r.Channels[c].Level = d.Channels[c].Level;
      }
      r.ToProcess = r.ToProcessNakamura = true;
    }
    form.RebuildAll();

    ShowProcessing(form, 0);
    QVERIFY(RunAndWait(form, "PrimCalcButton"));
    QCOMPARE(Stage(form), QString("Расчет спектров завершен"));
    script.File(Q(Work("late/late_text.tvp")), 0);
    Action(form, "SaveAsAction")->trigger();
    QCOMPARE(ProbeProjectFormat(Work("late/late_text.tvp")), 0);
    Action(form, "NewAction")->trigger();
    Action(form, "RecentAction1")->trigger();
    QCOMPARE(form.Shell().Project().Records.size(), size_t{2});

    ShowProcessing(form, 1);
    QVERIFY(RunAndWait(form, "NakCalcButton"));
    QCOMPARE(Stage(form), QString("Расчет спектров Накамуры завершен"));
    QCOMPARE(FilesUnder(Work("late/results")),
             (std::vector<std::string>{"Spectra/Nakamura/nak_prim_TVK01_240514-000001.dat",
                                       "Spectra/Nakamura/nak_prim_TVK02_240514-000001.dat",
                                       "Spectra/Primary/prim_TVK01_240514-000001.dat",
                                       "Spectra/Primary/prim_TVK02_240514-000001.dat"}));
    QVERIFY(script.Done());
    QVERIFY(script.Unexpected.empty());
  }

  void MissingRecordFilesAndAnUnwritableResultsFolder() {
    fs::remove_all(Work("demo/data"));
    TMainForm form;
    QVERIFY(form.LoadStartupProject(Q(Demo())));
    ShowActive(form);
    ShowProcessing(form, 0);
    DialogScript script;
    script.AcceptMessages = true;
    QVERIFY(RunAndWait(form, "PrimCalcButton"));
    QCOMPARE(Stage(form), QString("Расчет спектров завершен"));
    QVERIFY(FilesUnder(Work("demo/results")).empty());
    QVERIFY(!script.Texts.empty());

    // The results folder lies under a file: nothing can be written there.
    fs::remove_all(Work("demo"));
    fs::copy(fs::path(demo_.Master()).parent_path(), Work("demo"), fs::copy_options::recursive);
    Find<QTabWidget>(form, "PageControl")->setCurrentIndex(3);
    auto* dir = Find<QLineEdit>(form, "DirectoryEdit");
    dir->selectAll();
    QTest::keyClicks(dir, Q(Demo() + "/results"));
    QCOMPARE(form.Shell().Project().General.ResultDir, Demo() + "/results");
    QVERIFY(form.Shell().Project().Modified);
    script.Texts.clear();
    ShowProcessing(form, 0);
    QVERIFY(RunAndWait(form, "PrimCalcButton"));
    QVERIFY(!script.Texts.empty());
    QCOMPARE(form.Shell().Project().Records.size(), size_t{2});
    // Still usable: with a folder that can be made the run writes its files.
    dir->selectAll();
    QTest::keyClicks(dir, Q(Work("elsewhere")));
    QVERIFY(RunAndWait(form, "PrimCalcButton"));
    QCOMPARE(FilesUnder(Work("elsewhere")).size(), size_t{2});
    QVERIFY(script.Unexpected.empty());
  }

 private:
  std::string Work(const std::string& name) const { return demo_.Work(name); }
  std::string Demo() const { return demo_.Demo(); }

  DemoWorkspace demo_;
};

}  // namespace tarvik::gui::testing

QTEST_MAIN(tarvik::gui::testing::MainFormTest)
#include "main_form_test.moc"
