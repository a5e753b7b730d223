#include "viewers/gui/spc_form.h"

#include <qcustomplot.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "viewers/chart_size.h"
#include "viewers/gui/spectrum_plot.h"
#include "viewers/hvsr_show.h"
#include "viewers/noise_models.h"
#include "viewers/psd_chart.h"
#include "viewers/spectrum_show.h"

namespace tarvik::gui {

namespace {

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

// The system's texts end lines with CR LF; Qt shows and copies plain "\n" (and turns it into
// the platform's line end on the clipboard itself).
QString Displayed(const std::string& text) {
  return Q(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

QColor ColorOf(TRgb rgb) {
  return QColor(static_cast<int>((rgb >> 16) & 0xFF), static_cast<int>((rgb >> 8) & 0xFF),
                static_cast<int>(rgb & 0xFF));
}

constexpr char kMessageCaption[] = "Tarvik";

// Messages of an operation the window starts itself, in message boxes.
class MessageBoxHost : public UiHost {
 public:
  explicit MessageBoxHost(QWidget* parent) : parent_(parent) {}
  using UiHost::AskYesNo;
  using UiHost::SetOperation;
  using UiHost::SetStage;
  using UiHost::ShowMessage;
  using UiHost::ShowMessageOfKind;
  void SetOperation(std::string_view) override {}
  void SetStage(std::string_view) override {}
  void SetGauge(int, int) override {}
  void SetProgress(int, int) override {}
  void ShowMessage(std::string_view text) override {
    QMessageBox::critical(parent_, kMessageCaption, Displayed(std::string(text)));
  }
  bool AskYesNo(std::string_view) override { return false; }

 private:
  QWidget* parent_;
};

}  // namespace

// The narrow strip between the check list and the chart: one swatch per list entry, level with
// it, in the series' colour.
class SwatchStrip : public QWidget {
 public:
  SwatchStrip(QListWidget* list, QWidget* parent) : QWidget(parent), list_(list) {
    setFixedWidth(12);
    setObjectName("SwatchStrip");
  }
  void SetColors(std::vector<QColor> colors) {
    colors_ = std::move(colors);
    update();
  }
  const std::vector<QColor>& Colors() const { return colors_; }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const int n = std::min(list_->count(), static_cast<int>(colors_.size()));
    for (int i = 0; i < n; ++i) {
      const QRect r = list_->visualItemRect(list_->item(i));
      if (!r.isValid()) continue;
      const int y = mapFrom(window(), list_->viewport()->mapTo(window(), r.topLeft())).y();
      if (y + r.height() < 0 || y > height()) continue;
      painter.fillRect(QRect(2, y + 2, width() - 4, std::max(2, r.height() - 4)), colors_[i]);
    }
  }

 private:
  QListWidget* list_;
  std::vector<QColor> colors_;
};

TSpcForm::TSpcForm(QWidget* parent) : QDialog(parent) {
  setObjectName("SpcForm");
  setWindowFlags(windowFlags() | Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint);
  resize(1000, 640);

  prev_ = new QPushButton("Предыдущий", this);
  prev_->setObjectName("PrevButton");
  next_ = new QPushButton("Следующий", this);
  next_->setObjectName("NextButton");
  auto* choose = new QLabel("Выбрать", this);
  choices_ = new QComboBox(this);
  choices_->setObjectName("SelComBox");
  choices_->setMinimumContentsLength(14);
  choices_->setPlaceholderText("не выбрано");
  choose->setBuddy(choices_);
  fix_ = new QCheckBox("Зафиксировать выбор", this);
  fix_->setObjectName("FixCheckBox");
  log_x_ = new QCheckBox("Лог. X", this);
  log_x_->setObjectName("LogXCheckBox");
  log_y_ = new QCheckBox("Лог. Y", this);
  log_y_->setObjectName("LogYCheckBox");
  auto* save = new QPushButton("Сохранить график...", this);
  save->setObjectName("SaveButton");

  auto* controls = new QHBoxLayout;
  controls->addWidget(prev_);
  controls->addWidget(next_);
  controls->addSpacing(12);
  controls->addWidget(choose);
  controls->addWidget(choices_);
  controls->addWidget(fix_);
  controls->addSpacing(12);
  controls->addWidget(log_x_);
  controls->addWidget(log_y_);
  controls->addStretch(1);
  controls->addWidget(save);

  list_ = new QListWidget(this);
  list_->setObjectName("SeriesList");
  list_->setMinimumWidth(170);
  list_->setMaximumWidth(480);
  swatches_ = new SwatchStrip(list_, this);
  plot_ = new QCustomPlot(this);
  plot_->setObjectName("Chart");
  plot_->setMinimumSize(400, 300);
  plot_->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
  plot_->setMouseTracking(true);  // the read-out follows the mouse without a button held
  plot_->setContextMenuPolicy(Qt::CustomContextMenu);
  plot_->setToolTip("Колесо мыши — масштаб, перетаскивание — сдвиг, двойной щелчок — весь график");
  readout_ = new QLabel(this);
  readout_->setObjectName("ReadOut");

  // The side panel: a table of tests with their outcome and notes under it.
  panel_ = new QWidget(this);
  panel_->setObjectName("SidePanel");
  panel_->setFixedWidth(340);
  panel_title_ = new QLabel(panel_);
  QFont bold = panel_title_->font();
  bold.setBold(true);
  panel_title_->setFont(bold);
  panel_table_ = new QTableWidget(0, 4, panel_);
  panel_table_->setObjectName("PanelTable");
  panel_table_->setHorizontalHeaderLabels({"Критерий", "Значение", "Порог", ""});
  panel_table_->verticalHeader()->hide();
  panel_table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  panel_table_->setSelectionMode(QAbstractItemView::NoSelection);
  panel_table_->setWordWrap(false);
  panel_table_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
  for (int c = 1; c < 4; ++c) {
    panel_table_->horizontalHeader()->setSectionResizeMode(c, QHeaderView::ResizeToContents);
  }
  panel_notes_ = new QLabel(panel_);
  panel_notes_->setObjectName("PanelNotes");
  panel_notes_->setWordWrap(true);
  panel_notes_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  panel_notes_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* panel_layout = new QVBoxLayout(panel_);
  panel_layout->setContentsMargins(0, 0, 0, 0);
  panel_layout->addWidget(panel_title_);
  panel_layout->addWidget(panel_table_, 1);
  panel_layout->addWidget(panel_notes_);

  auto* chart_row = new QHBoxLayout;
  chart_row->setSpacing(2);
  chart_row->addWidget(list_);
  chart_row->addWidget(swatches_);
  chart_row->addWidget(plot_, 1);
  chart_row->addWidget(panel_);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(controls);
  layout->addLayout(chart_row, 1);
  layout->addWidget(readout_);

  BuildMenu();

  connect(list_, &QListWidget::itemChanged, this, &TSpcForm::OnItemChanged);
  connect(list_->verticalScrollBar(), &QScrollBar::valueChanged, swatches_,
          [this] { swatches_->update(); });
  // Only the axes change: values left out for a logarithmic axis stay out until the file is
  // shown again.
  for (const auto& axis : {std::pair{log_x_, &view_.LogX}, std::pair{log_y_, &view_.LogY}}) {
    bool* const flag = axis.second;
    connect(axis.first, &QCheckBox::toggled, this, [this, flag](bool on) {
      if (updating_) return;
      *flag = on;
      SetAxisScales(*plot_, view_.LogX, view_.LogY);
      FitToData(*plot_, view_, layers_);
      plot_->replot();
    });
  }
  connect(choices_, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (!updating_) view_.Selection = index;
  });
  connect(fix_, &QCheckBox::toggled, this, [this](bool on) {
    if (!updating_) view_.FixChecked = on;
  });
  connect(prev_, &QPushButton::clicked, this, [this] { Navigate(-1); });
  connect(next_, &QPushButton::clicked, this, [this] { Navigate(+1); });
  connect(save, &QPushButton::clicked, this, &TSpcForm::SaveChartAs);
  connect(plot_, &QCustomPlot::mouseMove, this, &TSpcForm::OnMouseMove);
  connect(plot_, &QCustomPlot::mouseDoubleClick, this, [this] {
    FitToData(*plot_, view_, layers_);
    plot_->replot();
  });
  connect(plot_, &QCustomPlot::customContextMenuRequested, this,
          [this](const QPoint& pos) { popup_->popup(plot_->mapToGlobal(pos)); });

  Refresh();
}

TSpcForm::~TSpcForm() = default;

void TSpcForm::BuildMenu() {
  popup_ = new QMenu(this);
  popup_->setObjectName("ChartMenu");
  const struct {
    const char* Title;
    TBandMeasure Measure;
    const char* Name;
  } menus[] = {{kIntegrationMenu, TBandMeasure::kIntegral, "Integration"},
               {kMeanMenu, TBandMeasure::kMean, "Mean"}};
  for (const auto& m : menus) {
    QMenu* sub = popup_->addMenu(m.Title);
    sub->setObjectName(QString(m.Name) + "Menu");
    const char* items[] = {kStandardBandsItem, kGivenBandItem, kWindowBandItem};
    for (int i = 0; i < 3; ++i) {
      QAction* a = sub->addAction(items[i]);
      a->setObjectName(QString("%1Item%2").arg(m.Name).arg(i));
      const TBandMeasure measure = m.Measure;
      connect(a, &QAction::triggered, this, [this, measure, i] { RunBandDialog(measure, i); });
    }
    if (m.Measure == TBandMeasure::kIntegral) integration_ = sub;
  }
  popup_->addSeparator();
  QAction* fit = popup_->addAction("Весь график");
  connect(fit, &QAction::triggered, this, [this] {
    FitToData(*plot_, view_, layers_);
    plot_->replot();
  });
  QAction* save = popup_->addAction("Сохранить график...");
  connect(save, &QAction::triggered, this, &TSpcForm::SaveChartAs);
  QAction* open = popup_->addAction("Открыть статистику H/V...");
  open->setObjectName("OpenHvsrItem");
  connect(open, &QAction::triggered, this, &TSpcForm::OpenHvsrResultAs);
  QAction* open_psd = popup_->addAction("Открыть шумовую статистику...");
  open_psd->setObjectName("OpenPsdStatsItem");
  connect(open_psd, &QAction::triggered, this, &TSpcForm::OpenPsdStatsAs);
}

void TSpcForm::Refresh() {
  updating_ = true;
  setWindowTitle(view_.Caption.empty() ? QStringLiteral("Спектры") : Q(view_.Caption));

  list_->clear();
  std::vector<QColor> colors;
  for (const TChartSeries& s : view_.Series) {
    auto* item = new QListWidgetItem(Q(s.Title), list_);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(s.Checked ? Qt::Checked : Qt::Unchecked);
    item->setToolTip(Q(s.Title));
    colors.push_back(ColorOf(s.Color));
  }
  swatches_->SetColors(std::move(colors));
  // The list is as wide as its longest name, within a third of the window, so that the names of
  // several stations are read whole.
  const int wanted = list_->sizeHintForColumn(0) + 2 * list_->frameWidth() +
                     list_->verticalScrollBar()->sizeHint().width() + 6;
  list_->setMinimumWidth(std::clamp(wanted, 170, std::max(170, width() / 3)));

  choices_->clear();
  for (const std::string& c : view_.Choices) choices_->addItem(Q(c));
  choices_->setCurrentIndex(view_.Selection);
  choices_->setEnabled(view_.ChoicesEnabled);
  fix_->setChecked(view_.FixChecked);
  fix_->setEnabled(view_.FixEnabled);
  log_x_->setChecked(view_.LogX);
  log_y_->setChecked(view_.LogY);
  prev_->setEnabled(view_.PrevEnabled);
  next_->setEnabled(view_.NextEnabled);
  integration_->setEnabled(view_.IntegrationEnabled);
  FillPanel();
  RedrawChart();
  updating_ = false;
}

void TSpcForm::RedrawChart() {
  layers_ = FillPlot(*plot_, view_);
  // The crosshair lives on the overlay layer, redrawn alone as the mouse moves.
  plot_->layer("overlay")->setMode(QCPLayer::lmBuffered);
  const QPen pen(QColor(90, 90, 90), 0, Qt::DotLine);
  for (QCPItemStraightLine** line : {&cross_x_, &cross_y_}) {
    *line = new QCPItemStraightLine(plot_);
    (*line)->setLayer("overlay");
    (*line)->setPen(pen);
    (*line)->setSelectable(false);
    (*line)->setVisible(false);
  }
  readout_->clear();
  plot_->replot();
}

void TSpcForm::FillPanel() {
  const TSidePanel& panel = view_.Panel;
  panel_->setVisible(!panel.Empty());
  panel_title_->setText(Q(panel.Title));
  panel_table_->clearContents();
  panel_table_->clearSpans();
  panel_table_->setRowCount(static_cast<int>(panel.Rows.size()));
  for (int r = 0; r < panel_table_->rowCount(); ++r) {
    const TPanelRow& row = panel.Rows[static_cast<size_t>(r)];
    auto* name = new QTableWidgetItem(Q(row.Name));
    panel_table_->setItem(r, 0, name);
    if (row.Heading) {
      QFont font = name->font();
      font.setBold(true);
      name->setFont(font);
      panel_table_->setSpan(r, 0, 1, 4);
      continue;
    }
    name->setToolTip(Q(row.Name));
    panel_table_->setItem(r, 1, new QTableWidgetItem(Q(row.ValueText)));
    panel_table_->setItem(r, 2, new QTableWidgetItem(Q(row.ThresholdText)));
    auto* outcome = new QTableWidgetItem(row.Pass ? "да" : "нет");
    outcome->setForeground(row.Pass ? QColor(0, 120, 0) : QColor(190, 0, 0));
    panel_table_->setItem(r, 3, outcome);
  }
  panel_table_->resizeRowsToContents();
  QStringList notes;
  for (const std::string& n : panel.Notes) notes << Displayed(n);
  panel_notes_->setText(notes.join("\n"));
}

void TSpcForm::OnItemChanged(QListWidgetItem* item) {
  if (updating_) return;
  const int row = list_->row(item);
  if (row < 0 || row >= static_cast<int>(view_.Series.size())) return;
  const bool checked = item->checkState() == Qt::Checked;
  view_.Series[static_cast<size_t>(row)].Checked = checked;
  layers_[static_cast<size_t>(row)]->setVisible(checked);
  plot_->replot();
}

void TSpcForm::OnMouseMove(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  const bool inside = plot_->axisRect()->rect().contains(pos);
  cross_x_->setVisible(inside);
  cross_y_->setVisible(inside);
  if (inside) {
    const double x = plot_->xAxis->pixelToCoord(pos.x());
    const double y = plot_->yAxis->pixelToCoord(pos.y());
    const QCPRange yr = plot_->yAxis->range();
    const QCPRange xr = plot_->xAxis->range();
    cross_x_->point1->setCoords(x, yr.lower);
    cross_x_->point2->setCoords(x, yr.upper);
    cross_y_->point1->setCoords(xr.lower, y);
    cross_y_->point2->setCoords(xr.upper, y);
    readout_->setText(QString("Частота %1 Гц    значение %2").arg(x, 0, 'g', 5).arg(y, 0, 'g', 4));
  } else {
    readout_->clear();
  }
  plot_->layer("overlay")->replot();
}

void TSpcForm::SetNavigationCallback(std::function<void(int)> callback) {
  navigate_ = std::move(callback);
}

void TSpcForm::Navigate(int delta) {
  if (!navigate_) return;
  navigate_(view_.CurrentIndex + delta);
  Refresh();
}

void TSpcForm::SetSelection(int index) {
  view_.Selection = index >= 0 && index < static_cast<int>(view_.Choices.size()) ? index : -1;
  updating_ = true;
  choices_->setCurrentIndex(view_.Selection);
  updating_ = false;
}

void TSpcForm::SetFixSelection(bool checked, bool enabled) {
  view_.FixChecked = checked;
  view_.FixEnabled = enabled;
  updating_ = true;
  fix_->setChecked(checked);
  fix_->setEnabled(enabled);
  updating_ = false;
}

bool TSpcForm::ShowSpectrumFile(const std::string& path, bool power, int unit_out, int unit_item,
                                UiHost& host) {
  const bool shown = tarvik::ShowSpectrumFile(view_, path, power, unit_out, unit_item, host);
  Refresh();
  return shown;
}

bool TSpcForm::ShowSpectrumFiles(const std::vector<std::string>& paths, bool power, int unit_out,
                                 int unit_item, UiHost& host) {
  const bool shown = tarvik::ShowSpectrumFiles(view_, paths, power, unit_out, unit_item, host);
  Refresh();
  return shown;
}

bool TSpcForm::ShowRatioFile(const std::string& path, bool hv, UiHost& host) {
  const bool shown = tarvik::ShowRatioFile(view_, path, hv, host);
  Refresh();
  return shown;
}

bool TSpcForm::ShowAverage(const std::vector<std::string>& paths, const std::string& output,
                           bool power, int unit_out, int unit_item, bool median, UiHost& host) {
  const bool shown =
      tarvik::ShowAverage(view_, paths, output, power, unit_out, unit_item, median, host, nullptr);
  Refresh();
  return shown;
}

void TSpcForm::ShowNoiseModels(int unit_item, int unit_out) {
  tarvik::ShowNoiseModels(view_, unit_item, unit_out);
  Refresh();
}

bool TSpcForm::ShowHvsrResult(const std::string& path, UiHost& host) {
  const bool shown = tarvik::ShowHvsrResult(view_, path, host) != THvsrShown::kNothing;
  Refresh();
  return shown;
}

TStatus TSpcForm::ShowPsdStats(const std::string& path) {
  // Drawn into a copy first: a file that cannot be shown leaves the chart as it was.
  TSpectrumView shown;
  if (TStatus refused = tarvik::ShowPsdStats(shown, path, TPsdChartChoice{}); !refused.Ok())
    return refused;
  // A result stands alone: no records to move through.
  shown.CurrentIndex = 0;
  shown.RecordCount = 0;
  UpdateNavigation(shown);
  view_ = std::move(shown);
  Refresh();
  return {};
}

TStatus TSpcForm::ShowResponses(const TFileRecord& record, int mode, double fmax, double fmin) {
  const TStatus status = tarvik::ShowResponses(view_, record, mode, fmax, fmin);
  Refresh();
  return status;
}

void TSpcForm::RunBandDialog(TBandMeasure measure, int item) {
  if (item == 0) {
    const TBandDialog d = StandardBandsDialog(view_, measure);
    QInputDialog box(this);
    box.setObjectName("BandValuesBox");
    // The answer names its bands in its lines; the box says what the numbers are in.
    box.setWindowTitle(measure == TBandMeasure::kMean ? "Средние амплитуды в полосах частот"
                                                      : "Амплитуды в полосах частот");
    box.setLabelText(view_.LeftTitle.empty()
                         ? QString("Полосы частот, Гц")
                         : "Полосы частот, Гц; значения: " + Q(view_.LeftTitle));
    box.setTextValue(Displayed(d.Text));
    box.exec();
    return;
  }
  TBandDialog d;
  if (item == 1) {
    QInputDialog query(this);
    query.setObjectName("BandQuery");
    query.setWindowTitle(kBandQueryCaption);
    query.setLabelText(kBandQueryPrompt);
    query.setTextValue(kBandQueryDefault);
    if (query.exec() != QDialog::Accepted) return;
    TStatus error;
    const std::optional<TBandDialog> given =
        GivenBandDialog(view_, measure, query.textValue().toStdString(), &error);
    if (!given) {
      QMessageBox::warning(this, kMessageCaption, Q(Text(error, TLanguage::kRussian)));
      return;
    }
    d = *given;
  } else {
    const QCPRange range = plot_->xAxis->range();
    d = WindowBandDialog(view_, measure, range.lower, range.upper);
  }
  QMessageBox box(QMessageBox::Information, kMessageCaption, Displayed(d.Text),
                  d.OkCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok, this);
  box.setObjectName("BandReport");
  if (box.exec() == QMessageBox::Ok && d.OkCancel) {
    QApplication::clipboard()->setText(Displayed(d.Clipboard));
  }
}

bool TSpcForm::SaveChart(const QString& path, QSize size) {
  // The crosshair follows the mouse: it is no part of the chart saved.
  std::vector<std::pair<QCPItemStraightLine*, bool>> cross;
  for (QCPItemStraightLine* line : {cross_x_, cross_y_}) {
    if (line == nullptr) continue;
    cross.emplace_back(line, line->visible());
    line->setVisible(false);
  }
  const QString ext = QFileInfo(path).suffix().toLower();
  // 0 × 0 is the chart's own size.
  const int w = size.isValid() ? size.width() : 0, h = size.isValid() ? size.height() : 0;
  const bool saved =
      ext == "pdf" ? plot_->savePdf(path, w, h, QCP::epNoCosmetic) : plot_->savePng(path, w, h);
  for (const auto& [line, was] : cross) line->setVisible(was);
  return saved;
}

void TSpcForm::SaveChartAs() {
  QString selected;
  QString path =
      QFileDialog::getSaveFileName(this, "Сохранить график", start_folder_,
                                   "Рисунок PNG (*.png);;Документ PDF (*.pdf)", &selected);
  if (path.isEmpty()) return;
  if (QFileInfo(path).suffix().isEmpty()) path += selected.contains("pdf") ? ".pdf" : ".png";
  // The picture at a size of the person's choosing, the chart's own size offered.
  QInputDialog query(this);
  query.setObjectName("ChartSizeQuery");
  query.setWindowTitle(kMessageCaption);
  query.setLabelText("Размер рисунка в точках (ширина x высота)");
  query.setTextValue(Q(ChartSizeText({plot_->width(), plot_->height()})));
  if (query.exec() != QDialog::Accepted) return;
  const std::optional<TChartSize> size = ParseChartSize(query.textValue().toStdString());
  if (!size) {
    QMessageBox::critical(this, kMessageCaption,
                          QString("Размер рисунка задается как ширина x высота, от %1 до %2 точек")
                              .arg(kMinChartSide)
                              .arg(kMaxChartSide));
    return;
  }
  if (!SaveChart(path, QSize(size->Width, size->Height))) {
    QMessageBox::critical(this, kMessageCaption, "Не удалось записать файл " + path);
  }
}

void TSpcForm::OpenHvsrResultAs() {
  QFileDialog dialog(this, "Открыть статистику H/V", start_folder_, "Статистика H/V (*.hv)");
  dialog.setObjectName("OpenHvsrDialog");
  dialog.setFileMode(QFileDialog::ExistingFile);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  MessageBoxHost host(this);
  ShowHvsrResult(dialog.selectedFiles().front().toStdString(), host);
}

void TSpcForm::OpenPsdStatsAs() {
  QFileDialog dialog(this, "Открыть шумовую статистику", start_folder_,
                     "Шумовая статистика (*.json)");
  dialog.setObjectName("OpenPsdStatsDialog");
  dialog.setFileMode(QFileDialog::ExistingFile);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  const TStatus shown = ShowPsdStats(dialog.selectedFiles().front().toStdString());
  if (!shown.Ok())
    QMessageBox::critical(this, kMessageCaption, Q(Text(shown, TLanguage::kRussian)));
}

bool RenderViewerWindow(const TSpectrumView& view, const std::string& path, int width, int height,
                        std::string& error) {
  if (QFileInfo(Q(path)).suffix().toLower() != "png") {
    error = path + ": the window is drawn into a .png file";
    return false;
  }
  TSpcForm form;
  form.View() = view;
  form.resize(width, height);
  form.Refresh();
  form.show();
  QApplication::processEvents();
  const bool saved = form.grab().save(Q(path), "PNG");
  if (!saved) error = path + ": cannot write the picture";
  return saved;
}

}  // namespace tarvik::gui
