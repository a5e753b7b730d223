// The window's messages carry their kind in the icon: a note, a warning and an error each look
// their own, from the window's thread and from a worker alike, with the text unchanged.

#include <QWidget>
#include <thread>

#include "gui_test_support.h"
#include "project/gui/qt_ui_host.h"

namespace tarvik::gui::testing {

class QtUiHostTest : public QObject {
  Q_OBJECT

 private slots:
  void MessagesShowTheIconOfTheirKind() {
    QWidget window;
    window.show();
    TQtUiHost host(&window);
    const struct {
      MessageKind Kind;
      QMessageBox::Icon Icon;
      const char* Text;
    } cases[] = {{MessageKind::kNote, QMessageBox::Information, "Готово"},
                 {MessageKind::kWarning, QMessageBox::Warning, "Пропущен канал Z"},
                 {MessageKind::kError, QMessageBox::Critical, "Файл a.sac не найден"}};
    for (const auto& c : cases) {
      for (const bool worker : {false, true}) {
        DialogScript script;
        QMessageBox::Icon shown = QMessageBox::NoIcon;
        QString text;
        script.Then([&](QWidget* w) {
          auto* box = qobject_cast<QMessageBox*>(w);
          QVERIFY(box != nullptr);
          shown = box->icon();
          text = box->text();
          box->button(QMessageBox::Ok)->click();
        });
        if (worker) {
          std::thread thread([&] { host.ShowMessageOfKind(c.Kind, c.Text); });
          QTRY_VERIFY(script.Done());
          QTRY_COMPARE(text, QString::fromUtf8(c.Text));
          thread.join();
        } else {
          host.ShowMessageOfKind(c.Kind, c.Text);
        }
        QVERIFY(script.Done());
        QCOMPARE(shown, c.Icon);
        QCOMPARE(text, QString::fromUtf8(c.Text));
        QVERIFY(script.Unexpected.empty());
      }
    }
    // The plain call and the shorthands keep to their kinds.
    for (const auto& [call, icon] :
         std::vector<std::pair<std::function<void()>, QMessageBox::Icon>>{
             {[&] { host.ShowMessage("x"); }, QMessageBox::Information},
             {[&] { host.ShowWarning("x"); }, QMessageBox::Warning},
             {[&] { host.ShowError("x"); }, QMessageBox::Critical}}) {
      DialogScript script;
      QMessageBox::Icon shown = QMessageBox::NoIcon;
      script.Then([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        QVERIFY(box != nullptr);
        shown = box->icon();
        box->button(QMessageBox::Ok)->click();
      });
      call();
      QCOMPARE(shown, icon);
    }
  }
};

}  // namespace tarvik::gui::testing

QTEST_MAIN(tarvik::gui::testing::QtUiHostTest)
#include "qt_ui_host_test.moc"
