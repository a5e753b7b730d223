// The records page driven through its widgets: adding a folder, split, clone, combine, sort and
// delete, the editor's fields of one or several records and of a channel, the double-click
// actions of its captions, channel-settings files, and typed input it refuses.

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <fstream>

#include "choose_file.h"
#include "common/date_text.h"
#include "gui_test_support.h"
#include "project/channel_ini.h"

namespace tarvik::gui::testing {

namespace fs = std::filesystem;

namespace {

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

void Trigger(TMainForm& form, const char* action) {
  QAction* a = form.findChild<QAction*>(action);
  QVERIFY2(a != nullptr, action);
  QTRY_VERIFY2(a->isEnabled(), action);
  a->trigger();
}

// A click on a caption of the editor that acts on a double click.
void DoubleClick(TMainForm& form, const char* label) {
  QLabel* l = Find<QLabel>(form, label);
  QVERIFY(l != nullptr);
  QTest::mouseDClick(l, Qt::LeftButton);
}

// Types text into a field as the person does (replacing what it held) and confirms it.
void Type(QLineEdit* edit, const QString& text) {
  edit->setFocus();
  edit->selectAll();
  QTest::keyClicks(edit, text);
  QTest::keyClick(edit, Qt::Key_Return);
}

std::vector<std::string> Stations(const TProject& p) {
  std::vector<std::string> out;
  for (const TFileRecord& r : p.Records) out.push_back(r.Station);
  return out;
}

}  // namespace

class RecordsPageTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QuietOffscreenNotes();
    UseSettingsFolder(settings_dir_.path());
    master_ = WriteDemoProject((fs::path(dir_.path().toStdString()) / "demo").string(), 60.0);
    QVERIFY(!master_.empty());
  }

  // Every case starts from the demo project as saved: records TVK01 and TVK02 of channels HHE,
  // HHN, HHZ, both starting at the same time.
  void init() {
    form_ = std::make_unique<TMainForm>();
    QVERIFY(form_->LoadStartupProject(Q(master_)));
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    Find<QTabWidget>(*form_, "PageControl")->setCurrentIndex(0);
    list_ = FileTable(*form_);
    QCOMPARE(RowCount(list_), 2);
  }

  void cleanup() { form_.reset(); }

  void SplitAndCloneAppendCopies() {
    // Copies that write the same result files are named in a message, answered here.
    DialogScript script;
    script.AcceptMessages = true;
    Select({0});
    Trigger(*form_, "SplitAction");
    const TProject& p = Project();
    // One record per selected channel, the station cut to 7 characters, only its channel on.
    QCOMPARE(RowCount(list_), 5);
    QCOMPARE(Stations(p),
             (std::vector<std::string>{"TVK01", "TVK02", "TVK01-E", "TVK01-N", "TVK01-Z"}));
    for (int i = 2; i < 5; ++i) {
      for (int c = 0; c < 3; ++c)
        QCOMPARE(static_cast<bool>(p.Records[static_cast<size_t>(i)].Channels[c].Selected),
                 c == i - 2);
    }
    QVERIFY(form_->windowTitle().endsWith("*"));

    script.Input("2");
    Select({1});
    Trigger(*form_, "CloneAction");
    QTRY_VERIFY(script.Done());
    QVERIFY(script.Saw("Tarvik|Количество копий"));
    QCOMPARE(RowCount(list_), 7);
    QCOMPARE(Project().Records[5].Station, std::string("TVK02-1"));
    QCOMPARE(Project().Records[6].Station, std::string("TVK02-2"));
    QCOMPARE(RowText(list_, 6), Q(Project().Records[1].File));

    // A count that is not a number makes one copy; 0 makes none.
    script.Input("две");
    Select({0});
    Trigger(*form_, "CloneAction");
    QTRY_COMPARE(RowCount(list_), 8);
    script.Input("0");
    Trigger(*form_, "CloneAction");
    QTRY_VERIFY(script.Done());
    QTest::qWait(20);
    QCOMPARE(RowCount(list_), 8);
    QVERIFY(script.Unexpected.empty());
  }

  void CombineKeepsTheEarlierRecordWithTheLaterFinish() {
    // TVK02 made to start an hour later and end an hour later, through the caption's input box.
    DialogScript script;
    Select({1});
    script.Input("14.05.2024 01:00:00");
    DoubleClick(*form_, "StartLabel");
    QTRY_VERIFY(script.Done());
    script.Input("14.05.2024 03:00:00");
    DoubleClick(*form_, "FinishLabel");
    QTRY_VERIFY(script.Done());
    QCOMPARE(script.Texts[0], QString("Tarvik|Введите время начала записи"));
    const TDateTime later_finish = Project().Records[1].Finish;
    QVERIFY(later_finish > Project().Records[0].Finish);
    QCOMPARE(Find<QLabel>(*form_, "FinishText")->text(), Q(ShownDateTime(later_finish)));

    // Combining needs two selected records.
    QTRY_VERIFY(!form_->findChild<QAction*>("CombineAction")->isEnabled());
    Select({0, 1});
    Trigger(*form_, "CombineAction");
    QCOMPARE(RowCount(list_), 1);
    QCOMPARE(Project().Records[0].Station, std::string("TVK01"));
    QCOMPARE(Project().Records[0].Finish, later_finish);
  }

  void SortAllAndSortTheSelection() {
    // Records of stations C, A, B, D after three clones renamed through the station field.
    DialogScript script;
    script.AcceptMessages = true;
    script.Input("2");
    Select({0});
    Trigger(*form_, "CloneAction");
    QTRY_VERIFY(script.Done());
    const char* names[] = {"C", "D", "B", "A"};
    for (int i = 0; i < 4; ++i) {
      Select({i});
      Type(Find<QLineEdit>(*form_, "StationEdit"), names[i]);
    }
    QCOMPARE(Stations(Project()), (std::vector<std::string>{"C", "D", "B", "A"}));

    // The selection (rows 1 and 3) sorted among itself; rows 0 and 2 stay.
    Select({1, 3});
    Trigger(*form_, "SortSelected1");
    QCOMPARE(Stations(Project()), (std::vector<std::string>{"C", "A", "B", "D"}));
    // The records moved keep their selection.
    QCOMPARE(SelectedRowCount(list_), 2);
    QVERIFY(RowSelected(list_, 1) && RowSelected(list_, 3));

    Trigger(*form_, "SortAll1");
    QCOMPARE(Stations(Project()), (std::vector<std::string>{"A", "B", "C", "D"}));
    for (int i = 0; i < 4; ++i)
      QCOMPARE(RowText(list_, i), Q(Project().Records[static_cast<size_t>(i)].File));
  }

  void DeleteKeyAsksFirst() {
    DialogScript script;
    Select({0});
    list_->setFocus();
    script.No();
    QTest::keyClick(list_, Qt::Key_Delete);
    QTRY_VERIFY(script.Done());
    QCOMPARE(script.Texts.front(),
             QString("Вы действительно хотите удалить выделенные записи из списка?"));
    QCOMPARE(RowCount(list_), 2);
    script.Yes();
    QTest::keyClick(list_, Qt::Key_Delete);
    QTRY_VERIFY(script.Done());
    QCOMPARE(RowCount(list_), 1);
    QCOMPARE(Project().Records[0].Station, std::string("TVK02"));
    // The action deletes without a question; an empty list leaves nothing to edit.
    Select({0});
    Trigger(*form_, "DeleteAction");
    QCOMPARE(RowCount(list_), 0);
    QTRY_VERIFY(!Find<QWidget>(*form_, "RecordEditor")->isEnabled());
    QVERIFY(!form_->findChild<QAction*>("DeleteAction")->isEnabled());
    QVERIFY(!Find<QToolButton>(*form_, "SortButton")->isEnabled());
  }

  void ChannelComponentLevelAndResponse() {
    Select({0});
    auto* channels = Find<QListWidget>(*form_, "ChannelCheckListBox");
    QCOMPARE(channels->count(), 3);
    QCOMPARE(channels->item(2)->text(), QString("HHZ"));
    channels->setCurrentRow(1);
    auto* axis = Find<QComboBox>(*form_, "AxisComBox");
    QCOMPARE(axis->currentText(), QString("N"));

    // The same component again leaves the project unmodified; another one modifies it.
    Project().Modified = false;
    axis->setFocus();
    QTest::keyClick(axis, Qt::Key_Up);
    QTest::keyClick(axis, Qt::Key_Down);
    QCOMPARE(ComponentNumber(Project().Records[0].Channels[1].Axis), 1);
    QTest::keyClick(axis, Qt::Key_Down);
    QCOMPARE(ComponentNumber(Project().Records[0].Channels[1].Axis), 2);
    QVERIFY(Project().Modified);
    QCOMPARE(ComponentNumber(Project().Records[1].Channels[1].Axis), 1);

    auto* level = Find<QSpinBox>(*form_, "LevelSpinEdit");
    const int32_t first_level = Project().Records[0].Channels[0].Level;
    level->setFocus();
    level->selectAll();
    QTest::keyClicks(level, "12345");
    QTest::keyClick(level, Qt::Key_Return);
    QCOMPARE(Project().Records[0].Channels[1].Level, 12345);
    QCOMPARE(Project().Records[0].Channels[0].Level, first_level);
    QVERIFY(Project().Records[1].Channels[1].Level != 12345);

    const std::string rsp =
        (fs::path(dir_.path().toStdString()) / "demo" / "responses" / "geophone_1hz.paz").string();
    Type(Find<QLineEdit>(*form_, "SensorFilenameEdit"), Q(rsp));
    QCOMPARE(Project().Records[0].Channels[1].SensorResp, rsp);
    QVERIFY(Project().Records[0].Channels[0].SensorResp.empty());

    // With both records selected: what they share shows, the rest is empty; an edit and the
    // "*" button reach both.
    Select({0, 1});
    channels->setCurrentRow(1);
    QCOMPARE(Find<QLineEdit>(*form_, "StationEdit")->text(), QString());
    QCOMPARE(axis->currentIndex(), -1);
    QCOMPARE(level->text().trimmed(), QString());
    QCOMPARE(Find<QLabel>(*form_, "SampRateText")->text(), QString("100.0"));
    Type(Find<QLineEdit>(*form_, "AmplifierFilenameEdit"), Q(rsp));
    QTest::mouseClick(Find<QPushButton>(*form_, "AmplifierAllButton"), Qt::LeftButton);
    for (const TFileRecord& r : Project().Records) {
      for (int c = 0; c < 3; ++c) QCOMPARE(r.Channels[c].AmplifierResp, rsp);
    }
    // A channel's mark, unchecked for both.
    channels->item(0)->setCheckState(Qt::Unchecked);
    QVERIFY(!Project().Records[0].Channels[0].Selected &&
            !Project().Records[1].Channels[0].Selected);
    QCOMPARE(channels->item(0)->checkState(), Qt::Unchecked);
  }

  void CaptionsAskAndRefuseBadInput() {
    DialogScript script;
    Select({0, 1});
    // The stations to the clipboard, one per line, and the count said.
    script.Ok();
    DoubleClick(*form_, "StationLabel");
    QTRY_VERIFY(script.Done());
    QCOMPARE(QApplication::clipboard()->text(), QString("TVK01\r\nTVK02"));
    QCOMPARE(script.Texts.back(), QString("В буфер обмена помещено строк: 2"));

    // An ADC coefficient of 0 is refused; a positive one reaches the channel of both records.
    auto* channels = Find<QListWidget>(*form_, "ChannelCheckListBox");
    channels->setCurrentRow(2);
    script.Input("0");
    script.Ok();
    DoubleClick(*form_, "AdcLabel");
    QTRY_VERIFY(script.Done());
    QCOMPARE(script.Texts.back(), QString("Коэффициент АЦП должен быть больше нуля"));
    QCOMPARE(Project().Records[0].Channels[2].ADCCoef, 419430.4);
    script.Input("1000");
    DoubleClick(*form_, "AdcLabel");
    QTRY_VERIFY(script.Done());
    QCOMPARE(Project().Records[1].Channels[2].ADCCoef, 1000.0);

    // A selection start that is no date is refused with its conversion error, nothing changes.
    const TDateTime start = Project().Records[0].SelectStart;
    script.AcceptMessages = true;
    Type(Find<QLineEdit>(*form_, "SelStartEdit"), "31.02.2024 00:00:00");
    QTRY_VERIFY(!script.Texts.empty() && script.Texts.back().contains("31.02.2024"));
    QCOMPARE(Project().Records[0].SelectStart, start);
    // A start typed to the millisecond is kept to the second, as the text project keeps it.
    Type(Find<QLineEdit>(*form_, "SelStartEdit"), "14.05.2024 00:10:00.700");
    QCOMPARE(Project().Records[0].SelectStart, AtStoredPrecision(Project().Records[0].SelectStart));
    QCOMPARE(FormatProjectDateTime(Project().Records[1].SelectStart),
             FormatProjectDateTime(Project().Records[0].SelectStart));
  }

  // The editor keeps what the project file can hold and what lies within the record.
  void EditorRefusesWhatTheProjectCannotKeep() {
    Select({0});
    DialogScript script;
    script.AcceptMessages = true;
    // The letter is refused as it is typed; the others stay. (QTest types ASCII only: the "ü"
    // comes as the key event a keyboard gives.)
    auto* station = Find<QLineEdit>(*form_, "StationEdit");
    station->setFocus();
    station->selectAll();
    QTest::keyClicks(station, "Z");
    QTest::sendKeyEvent(QTest::Click, station, Qt::Key_Udiaeresis, QString("ü"), Qt::NoModifier);
    QTest::keyClicks(station, "rich");
    QTRY_VERIFY(script.Saw("Название пункта «Zü» содержит символ «ü»"));
    QCOMPARE(Project().Records[0].Station, std::string("Zrich"));

    // A selection start before the record is taken as its start, with a warning.
    const TFileRecord& r = Project().Records[0];
    Type(Find<QLineEdit>(*form_, "SelStartEdit"), "01.01.2010 00:00:00");
    QTRY_VERIFY(script.Saw("раньше начала записи; взято"));
    QCOMPARE(r.SelectStart, r.Start);
    QCOMPARE(Find<QLineEdit>(*form_, "SelStartEdit")->text(), Q(ShownDateTime(r.Start)));
    // A finish before the start is refused, and the field shows the finish kept.
    const TDateTime finish = r.SelectFinish;
    Type(Find<QLineEdit>(*form_, "SelFinishEdit"), "01.01.2010 00:00:00");
    QTRY_VERIFY(script.Saw("не раньше его конца"));
    QCOMPARE(r.SelectFinish, finish);
    QCOMPARE(Find<QLineEdit>(*form_, "SelFinishEdit")->text(), Q(ShownDateTime(finish)));
    QVERIFY(script.Unexpected.empty());
  }

  void UnitTemplateAndChannelSettingsFiles() {
    const fs::path dir = fs::path(dir_.path().toStdString()) / "settings_files";
    fs::create_directories(dir);
    Select({0});
    Find<QListWidget>(*form_, "ChannelCheckListBox")->setCurrentRow(0);
    DialogScript script;
    QString title, proposed;
    script.Then([&](QWidget* w) {
      auto* dialog = qobject_cast<QFileDialog*>(w);
      QVERIFY(dialog != nullptr);
      title = dialog->windowTitle();
      proposed = dialog->selectedFiles().value(0);
      tarvik::testing::ChooseFile(*dialog, Q((dir / "unit").string()));
      static_cast<QDialog*>(dialog)->accept();
    });
    DoubleClick(*form_, "SensorFilenameLabel");
    QTRY_VERIFY(script.Done());
    QCOMPARE(title, QString("Задайте имя ЧХ датчика"));
    QVERIFY2(proposed.endsWith("sens_HHE.rsp"), qPrintable(proposed));
    const std::string unit = (dir / "unit.rsp").string();
    QVERIFY(fs::exists(unit));
    QCOMPARE(Project().Records[0].Channels[0].SensorResp, unit);
    QCOMPARE(Find<QLineEdit>(*form_, "SensorFilenameEdit")->text(), Q(unit));

    // The record's channels to a file and back onto the other record.
    script.File(Q((dir / "chans").string()));
    Trigger(*form_, "ChannelsToFileAction");
    QTRY_VERIFY(script.Done());
    const std::string ini = (dir / "chans.ini").string();
    QVERIFY(fs::exists(ini));
    Select({1});
    script.File(Q(ini));
    Trigger(*form_, "ChannelsFromFileAction");
    QTRY_VERIFY(script.Done());
    QCOMPARE(Project().Records[1].Channels[0].SensorResp, unit);
    QCOMPARE(Project().Records[1].Channels[2].ChannelResp,
             Project().Records[0].Channels[2].ChannelResp);
    QCOMPARE(Find<QLineEdit>(*form_, "SensorFilenameEdit")->text(), Q(unit));
    QVERIFY(script.Unexpected.empty());
  }

  void CompressPointsTheRecordAtItsCopy() {
    const std::string before = Project().Records[1].File;
    Project().Modified = false;
    Select({1});
    Trigger(*form_, "CompressAction");
    QTRY_VERIFY_WITH_TIMEOUT(Project().Records[1].File != before, 30000);
    const std::string copy = Project().Records[1].File;
    QVERIFY2(copy.find("ZipData") != std::string::npos && fs::exists(copy), copy.c_str());
    QCOMPARE(RowText(list_, 1), Q(copy));
    QCOMPARE(Project().Records[0].File,
             (fs::path(master_).parent_path() / "data" / "TVK01.XX.20240514T000000.msd").string());
    QVERIFY(Project().Modified);
    // The editor is usable again once the copies are written.
    QTRY_VERIFY(Find<QWidget>(*form_, "RecordEditor")->isEnabled());
  }

  // Files are offered and added by their content: the add dialog shows every file first, and a
  // folder gives every file a reader knows, an archive's day file without extension among them.
  void AddTakesEveryFileAReaderKnows() {
    const fs::path demo_data = fs::path(dir_.path().toStdString()) / "demo" / "data";
    const fs::path archive = fs::path(dir_.path().toStdString()) / "archive";
    fs::create_directories(archive);
    fs::copy_file(demo_data / "TVK01.XX.20240514T000000.msd", archive / "XX.TVK01..HHZ.D.2024.135",
                  fs::copy_options::overwrite_existing);
    std::ofstream(archive / "notes.odt") << "field notes, not a recording\n";

    DialogScript script;
    Trigger(*form_, "NewAction");
    QStringList filters;
    QString offered;
    script.Then([&](QWidget* w) {
      auto* dialog = qobject_cast<QFileDialog*>(w);
      QVERIFY(dialog != nullptr);
      filters = dialog->nameFilters();
      offered = dialog->selectedNameFilter();
      dialog->setDirectory(Q(archive.string()));
      tarvik::testing::ChooseFile(*dialog, Q((archive / "XX.TVK01..HHZ.D.2024.135").string()));
      static_cast<QDialog*>(dialog)->accept();
    });
    Trigger(*form_, "AddAction");
    QTRY_VERIFY(script.Done());
    QTRY_COMPARE(RowCount(list_), 1);
    QVERIFY(!filters.isEmpty());
    QCOMPARE(filters.front(), QString("Все поддерживаемые форматы (*)"));
    QCOMPARE(offered, filters.front());
    QCOMPARE(Project().Records[0].Station, std::string("TVK01"));

    script.No();  // the project of the first add is not kept
    Trigger(*form_, "NewAction");
    QTRY_VERIFY(script.Done());
    QCOMPARE(RowCount(list_), 0);
    script.File(Q(archive.string()));
    Trigger(*form_, "AddFolderAction");
    QTRY_VERIFY(script.Done());
    QTRY_COMPARE(RowCount(list_), 1);
    QCOMPARE(Project().Records[0].File, (archive / "XX.TVK01..HHZ.D.2024.135").string());
    QVERIFY2(script.Unexpected.empty(),
             qPrintable(script.Unexpected.empty() ? QString() : script.Unexpected.front()));
  }

  void AddFolderAndChangePath() {
    // A new project given the demo's folder: the two stations' files joined into two records.
    DialogScript script;
    Trigger(*form_, "NewAction");
    QCOMPARE(RowCount(list_), 0);
    const std::string data = (fs::path(dir_.path().toStdString()) / "demo" / "data").string();
    script.File(Q(data));
    Trigger(*form_, "AddFolderAction");
    QTRY_VERIFY(script.Done());
    QTRY_COMPARE(RowCount(list_), 2);
    QCOMPARE(Project().Records[0].Station, std::string("TVK01"));
    QVERIFY(Project().Modified);

    // Their files moved to another folder.
    const std::string moved = (fs::path(dir_.path().toStdString()) / "moved").string();
    fs::create_directories(moved);
    Select({0, 1});
    script.File(Q(moved));
    Trigger(*form_, "ChangePathAction");
    QTRY_VERIFY(script.Done());
    for (int i = 0; i < 2; ++i) {
      const std::string file = Project().Records[static_cast<size_t>(i)].File;
      QCOMPARE(fs::path(file).parent_path().string(), moved);
      QCOMPARE(RowText(list_, i), Q(file));
    }
    QVERIFY(script.Unexpected.empty());
  }

 private:
  TProject& Project() { return form_->Shell().Project(); }

  // The records selected as a person selects them in the list, the first of them current.
  void Select(const std::vector<int>& rows) {
    SelectOnly(list_, rows);
    QApplication::processEvents();
  }

  QTemporaryDir dir_;
  QTemporaryDir settings_dir_;
  std::string master_;
  std::unique_ptr<TMainForm> form_;
  QTableView* list_ = nullptr;
};

}  // namespace tarvik::gui::testing

QTEST_MAIN(tarvik::gui::testing::RecordsPageTest)
#include "records_page_test.moc"
