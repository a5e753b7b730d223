// The window and the project file on disk: a plain save keeps the file's form, a save over a
// file that another program has written since asks first, a save waits for another writer and
// gives up naming it, and a damaged file is refused with the open project kept.

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QTabWidget>
#include <algorithm>
#include <fstream>
#include <iterator>

#include "gui_test_support.h"
#include "project/project_lock.h"
#include "project/record_management.h"
#include "test_files.h"

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

void ShowActive(TMainForm& form) {
  form.show();
  form.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&form));
}

// Ctrl+S, as a person saves, in the window made active again after a dialog.
void PressSave(TMainForm& form) {
  form.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&form));
  QTest::keyClick(&form, Qt::Key_S, Qt::ControlModifier);
}

// A change made in the window: the edge-effect box of the settings page.
void ChangeInWindow(TMainForm& form) {
  Find<QTabWidget>(form, "PageControl")->setCurrentIndex(2);
  auto* edge = Find<QCheckBox>(form, "EdgeCheckBox");
  QTest::mouseClick(edge, Qt::LeftButton, {}, QPoint(8, edge->height() / 2));
  QVERIFY(form.Shell().Project().Modified);
}

// Another program changes the first record's station in the file.
void ChangeOnDisk(const std::string& path, const std::string& station) {
  NullUiHost host;
  TProject p;
  QCOMPARE(LoadProject(p, path, host).Kind, LoadStatus::kLoaded);
  p.Records[0].Station = station;
  QVERIFY(SaveProject(p, path, p.Form, host).Ok);
}

TProject OnDisk(const std::string& path) {
  NullUiHost host;
  TProject p;
  LoadProject(p, path, host);
  return p;
}

// Answers a message box with the button whose text is caption; keeps the box's text.
void Press(DialogScript& script, const QString& caption, std::vector<QString>& texts) {
  script.Then([caption, &texts](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    QVERIFY(box != nullptr);
    texts.push_back(box->text());
    for (QAbstractButton* b : box->buttons()) {
      if (b->text().remove('&') == caption) {
        b->click();
        return;
      }
    }
    QFAIL(qPrintable("no button " + caption));
  });
}

}  // namespace

class ProjectSavingTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QVERIFY(demo_.Prepare()); }

  void init() { demo_.Fresh(); }

  // A text project (the records of a CSS index) saved by Ctrl+S and by "Yes" to the close query
  // stays a text project; a binary one stays binary.
  void APlainSaveKeepsTheFormOfTheFile() {
    NullUiHost host;
    TProject css;
    AddFilesToProject(css, {tarvik::testing::RealFile("css/test_css.wfdisc")}, host);
    QCOMPARE(css.Records.size(), size_t{2});
    const std::string text = SaveProject(css, Work("css.tvp"), 0, host).FileName;
    const std::string binary = SaveProject(css, Work("bin.tvp"), 1, host).FileName;
    for (const std::string& path : {text, binary}) {
      const int form = path == text ? 0 : 1;
      auto window = std::make_unique<TMainForm>();
      QVERIFY(window->LoadStartupProject(Q(path)));
      ShowActive(*window);
      ChangeInWindow(*window);
      PressSave(*window);
      QVERIFY(!window->Shell().Project().Modified);
      QCOMPARE(ProbeProjectFormat(path), form);
      QCOMPARE(OnDisk(path).Settings[0].EdgeEffect, true);
      if (form == 0) QVERIFY(Bytes(path).find("EdgeEffect=1\r\n") != std::string::npos);

      DialogScript script;
      ChangeInWindow(*window);
      script.Yes();
      QVERIFY(window->close());
      QVERIFY(script.Done());
      QCOMPARE(script.Texts.back(), QString(kCloseQuery));
      QCOMPARE(ProbeProjectFormat(path), form);
      QCOMPARE(OnDisk(path).Settings[0].EdgeEffect, false);
      QVERIFY(script.Unexpected.empty());
    }
  }

  // Another program saved the project after the window opened it: Ctrl+S asks whether to
  // overwrite that or reopen the file.
  void ASaveOverAFileChangedOnDiskAsks() {
    TMainForm form;
    QVERIFY(form.LoadStartupProject(Q(Demo())));
    ShowActive(form);
    const std::string station = form.Shell().Project().Records[0].Station;
    DialogScript script;
    std::vector<QString> asked;

    // Cancel: nothing written, the window keeps its change.
    ChangeInWindow(form);
    ChangeOnDisk(Demo(), "DISK1");
    const std::string disk = Bytes(Demo());
    script.Cancel();
    PressSave(form);
    QVERIFY(script.Done());
    QCOMPARE(script.Texts.back(), Q(Text(ChangedOnDiskQuestion(Demo()), TLanguage::kRussian)));
    QCOMPARE(Bytes(Demo()), disk);
    QVERIFY(form.Shell().Project().Modified);
    QVERIFY(form.windowTitle().endsWith("*"));

    // Overwrite: the window's project goes to the file.
    Press(script, kOverwriteAnswer, asked);
    PressSave(form);
    QVERIFY(script.Done());
    QVERIFY(!form.Shell().Project().Modified);
    QCOMPARE(OnDisk(Demo()).Records[0].Station, station);
    QCOMPARE(OnDisk(Demo()).Settings[0].EdgeEffect, true);

    // Reopen: the file as it is on disk is shown, the window's change dropped.
    ChangeInWindow(form);
    ChangeOnDisk(Demo(), "DISK2");
    Press(script, kReopenAnswer, asked);
    PressSave(form);
    QVERIFY(script.Done());
    QCOMPARE(form.Shell().Project().Records[0].Station, std::string("DISK2"));
    QVERIFY(!form.Shell().Project().Modified);
    QCOMPARE(form.windowTitle(), Q(Demo()));
    QVERIFY(Find<QCheckBox>(form, "EdgeCheckBox")->isChecked());
    QCOMPARE(OnDisk(Demo()).Records[0].Station, std::string("DISK2"));
    QCOMPARE(asked.size(), size_t{2});

    // Unchanged on disk since: saved without a question.
    ChangeInWindow(form);
    PressSave(form);
    QVERIFY(!form.Shell().Project().Modified);
    QCOMPARE(OnDisk(Demo()).Settings[0].EdgeEffect, false);
    QCOMPARE(asked.size(), size_t{2});
    QCOMPARE(script.Texts.size(), size_t{1});
    QVERIFY(script.Unexpected.empty());
  }

  // While another program holds the project, the save waits, then says who holds it.
  void ASaveWaitsForAnotherWriterAndNamesIt() {
    TMainForm form;
    QVERIFY(form.LoadStartupProject(Q(Demo())));
    ShowActive(form);
    form.Shell().SetLockWait(0.3);
    ChangeInWindow(form);
    const std::string before = Bytes(Demo());
    TProjectLock other = TProjectLock::Acquire(Demo());
    QVERIFY(other.Held());
    DialogScript script;
    script.Ok();
    PressSave(form);
    QVERIFY(script.Done());
    QCOMPARE(script.Texts.back(), Q(ProjectBusyMessage(Demo(), TProjectLock::ThisHolder())));
    QVERIFY(form.Shell().Project().Modified);
    QCOMPARE(Bytes(Demo()), before);
    other.Release();
    PressSave(form);
    QVERIFY(!form.Shell().Project().Modified);
    QVERIFY(script.Unexpected.empty());
  }

  // A text project cut to 1000 or to 37 bytes is refused as damaged with its line, from the
  // command line and from the open dialog; the open project stays and the file is not touched.
  void ADamagedProjectIsRefusedAndTheOpenOneStays() {
    const std::string whole = Bytes(Demo());
    for (const size_t size : {size_t{1000}, size_t{37}}) {
      const std::string cut = Work("cut" + std::to_string(size) + ".tvp");
      const std::string part = whole.substr(0, size);
      std::ofstream(cut, std::ios::binary) << part;
      const int line = 1 + static_cast<int>(std::count(part.begin(), part.end(), '\n'));
      const QString message =
          Q("Файл " + cut + " поврежден: строка " + std::to_string(line) + ": ");

      DialogScript script;
      {
        TMainForm fresh;
        script.Ok();
        QVERIFY(!fresh.LoadStartupProject(Q(cut)));
        QVERIFY(script.Done());
        QVERIFY2(script.Texts.back().startsWith(message), qPrintable(script.Texts.back()));
        QCOMPARE(fresh.Shell().Project().FileName, std::string(kNoName));
      }

      TMainForm form;
      QVERIFY(form.LoadStartupProject(Q(Demo())));
      ShowActive(form);
      script.File(Q(cut));
      script.Ok();
      Find<QTabWidget>(form, "PageControl")->setCurrentIndex(0);
      form.findChild<QAction*>("OpenAction")->trigger();
      QVERIFY(script.Done());
      QVERIFY2(script.Texts.back().startsWith(message), qPrintable(script.Texts.back()));
      QVERIFY(Find<QLabel>(form, "MainStatusPanel1")->text() != "Проект успешно загружен");
      QCOMPARE(form.Shell().Project().FileName, Demo());
      QCOMPARE(RowCount(FileTable(form)), 2);
      QCOMPARE(form.windowTitle(), Q(Demo()));
      QCOMPARE(Bytes(cut), part);
      QVERIFY(!fs::exists(ProjectBackupName(cut)));
      QVERIFY(script.Unexpected.empty());
    }
  }

 private:
  std::string Work(const std::string& name) const { return demo_.Work(name); }
  std::string Demo() const { return demo_.Demo(); }

  DemoWorkspace demo_;
};

}  // namespace tarvik::gui::testing

QTEST_MAIN(tarvik::gui::testing::ProjectSavingTest)
#include "project_saving_test.moc"
