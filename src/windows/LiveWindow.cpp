#include "LiveWindow.h"

#include "Error.h"
#include "locale/UserLocale.h"
#include "widgets/BitmapImage.h"
#include "widgets/CaptureWindowWidget.h"
#include "widgets/PicturePane.h"
#include "widgets/PictureView.h"
#include "widgets/PromptPanel.h"
#include "widgets/TimeValueChart.h"
#include "widgets/UpDown.h"

#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

using torvi::LiveControl;
using torvi::LiveStep;
using torvi::gui::Dialogs;
using torvi::gui::Guarded;

namespace {

using Clock = std::chrono::steady_clock;

// The timer asks the session often, which costs a lock or two. The value is
// shown as soon as it comes, up to 50 times a second, so that a camera's
// every frame reaches the screen without waiting for the next turn of a
// fixed clock; the picture is redrawn at most 30 times a second and the
// graph 10 times.
constexpr int PollMilliseconds = 10;
constexpr auto ValueEvery = std::chrono::milliseconds(20);
constexpr auto ScreenEvery = std::chrono::milliseconds(33);
constexpr auto GraphEvery = std::chrono::milliseconds(100);
// While measuring, the graph follows the last minute of the run.
constexpr double GraphSpanSeconds = 60;
// Two points per pixel of the graph's width keep every swing visible.
constexpr int GraphPointsPerPixel = 2;

// A step of 1, 2 or 5 times a power of ten, at least `step`.
double RoundStep(double step) {
    const double power = std::pow(10.0, std::floor(std::log10(step)));
    for (const double m : {1.0, 2.0, 5.0})
        if (m * power >= step) return m * power;
    return 10 * power;
}

// A save dialog asking before a file is replaced; the suffix is the one of
// the proposed name.
std::optional<QString> AskFileName(QWidget* parent, const QString& title, const QString& name,
                                   const QString& filters) {
    torvi::gui::SaveFileRequest request;
    request.Title = title;
    request.FileName = name;
    request.Filters = filters;
    request.DefaultSuffix = QFileInfo(name).suffix();
    return Dialogs().SaveFile(parent, request);
}

std::string Separator() {
    return torvi::UserDecimalSeparator();
}

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

LiveWindow::LiveWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle(QStringLiteral("Live measurement"));
    setAttribute(Qt::WA_DeleteOnClose);
    BuildControls();
    PollTimer = new QTimer(this);
    PollTimer->setInterval(PollMilliseconds);
    connect(PollTimer, &QTimer::timeout, this, &LiveWindow::Poll);
    FillDeviceList();
    ApplyStep();
}

LiveWindow::~LiveWindow() {
    PollTimer->stop();
    Session.CloseDevice();
}

void LiveWindow::BuildControls() {
    auto* main = new QHBoxLayout(this);
    main->setContentsMargins(4, 4, 4, 4);
    main->setSpacing(6);

    auto* left = new QWidget(this);
    left->setFixedWidth(230);
    auto* column = new QVBoxLayout(left);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    column->addWidget(new QLabel(QStringLiteral("Capture device:"), left));
    DeviceList = new QComboBox(left);
    column->addWidget(DeviceList);

    auto* group = new QGroupBox(left);
    auto* rows = new QGridLayout(group);
    rows->setContentsMargins(6, 4, 4, 4);
    rows->setVerticalSpacing(2);
    CentreText = new QLabel(group);
    RadiusText = new QLabel(group);
    rows->addWidget(new QLabel(QStringLiteral("Centre:"), group), 0, 0);
    rows->addWidget(CentreText, 0, 1);
    rows->addWidget(new QLabel(QStringLiteral("Radius of big hand:"), group), 1, 0);
    rows->addWidget(RadiusText, 1, 1);
    ContrastField = new QLineEdit(QStringLiteral("60"), group);
    ContrastField->setReadOnly(true);
    ContrastField->setFixedWidth(36);
    ContrastArrows = new UpDown(group);
    ContrastArrows->SetRange(0, 255);
    ContrastArrows->SetPosition(60);
    ContrastArrows->Associate(ContrastField);
    auto* contrast = new QHBoxLayout;
    contrast->setSpacing(0);
    contrast->addWidget(ContrastField);
    contrast->addWidget(ContrastArrows);
    contrast->addStretch();
    rows->addWidget(new QLabel(QStringLiteral("Contrast:"), group), 2, 0);
    rows->addLayout(contrast, 2, 1);
    DarkHand = new QRadioButton(QStringLiteral("B"), group);
    LightHand = new QRadioButton(QStringLiteral("W"), group);
    DarkHand->setChecked(true);
    auto* hand = new QHBoxLayout;
    hand->addWidget(DarkHand);
    hand->addWidget(LightHand);
    hand->addStretch();
    rows->addWidget(new QLabel(QStringLiteral("Masking:"), group), 3, 0);
    rows->addLayout(hand, 3, 1);
    column->addWidget(group);

    auto* buttons = new QGridLayout;
    buttons->setSpacing(3);
    ChangeButton = new QPushButton(QStringLiteral("&Change"), left);
    LearnButton = new QPushButton(QStringLiteral("&Learn background"), left);
    MeasureButton = new QPushButton(QStringLiteral("&Measure"), left);
    StopButton = new QPushButton(QStringLiteral("&Stop"), left);
    buttons->addWidget(ChangeButton, 0, 0);
    buttons->addWidget(LearnButton, 0, 1);
    buttons->addWidget(MeasureButton, 1, 0);
    buttons->addWidget(StopButton, 1, 1);
    column->addLayout(buttons);
    RecordBox = new QCheckBox(QStringLiteral("&Record at the same time"), left);
    RecordBox->setToolTip(QStringLiteral("The measured frames also go into an AVI film "
                                         "(lossless, 16 bits per pixel)"));
    column->addWidget(RecordBox);

    const PromptPanel promptPanel = NewPromptPanel(left);
    promptPanel.Frame->setMinimumHeight(78);
    Prompt = promptPanel.Text;
    column->addWidget(promptPanel.Frame);

    column->addWidget(new QLabel(QStringLiteral("Masking (white counts as hand):"), left));
    MaskView = new QLabel(left);
    MaskView->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    MaskView->setFixedSize(230, 200);
    MaskView->setAlignment(Qt::AlignCenter);
    column->addWidget(MaskView);

    SaveResultButton = new QPushButton(QStringLiteral("Save &result..."), left);
    SaveFramesButton = new QPushButton(QStringLiteral("Save &CSV..."), left);
    SaveFramesButton->setToolTip(QStringLiteral("One line per measured frame"));
    column->addWidget(SaveResultButton);
    column->addWidget(SaveFramesButton);
    column->addStretch();
    main->addWidget(left);

    // Right: the picture, the value and the graph, the fields.
    auto* right = new QVBoxLayout;
    right->setSpacing(4);
    PictureBox = new QScrollArea(this);
    PictureBox->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto* pictureHolder = new QWidget;
    auto* holderLayout = new QVBoxLayout(pictureHolder);
    holderLayout->setContentsMargins(0, 0, 0, 0);
    holderLayout->setSpacing(0);
    auto* pane = new PicturePane(pictureHolder);
    Picture = pane->View();
    NoDeviceText = new QLabel(pictureHolder);
    NoDeviceText->setWordWrap(true);
    holderLayout->addWidget(pane);
    holderLayout->addWidget(NoDeviceText);
    PictureBox->setWidget(pictureHolder);
    PictureBox->setWidgetResizable(true);
    right->addWidget(PictureBox, 3);

    auto* results = new QHBoxLayout;
    auto* valuePanel = new QFrame(this);
    valuePanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    valuePanel->setFixedWidth(210);
    auto* valueLayout = new QVBoxLayout(valuePanel);
    valueLayout->addWidget(new QLabel(QStringLiteral("Turned (ticks):"), valuePanel));
    ValueText = new QLabel(QStringLiteral("-"), valuePanel);
    QFont large = ValueText->font();
    large.setPointSize(32);
    large.setBold(true);
    ValueText->setFont(large);
    ValueText->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    ValueText->setMinimumHeight(ValueText->fontMetrics().height());
    ValueText->installEventFilter(this);
    valueLayout->addWidget(ValueText);
    RunText = new QLabel(valuePanel);
    RunText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    valueLayout->addWidget(RunText, 1);
    results->addWidget(valuePanel);

    Series = new QLineSeries;
    QPen pen(Qt::darkGreen);
    pen.setWidth(2);
    Series->setPen(pen);
    const TimeValueChart made = NewTimeValueChart(Series);
    QChart* chart = made.Chart;
    AxisX = made.AxisX;
    AxisY = made.AxisY;
    AxisX->setRange(0, 1);
    AxisY->setRange(0, 1);
    AxisX->setLabelFormat(QStringLiteral("%g"));
    AxisY->setLabelFormat(QStringLiteral("%g"));
    AxisX->setTickType(QValueAxis::TicksDynamic);
    AxisX->setTickAnchor(0);
    AxisX->setTickInterval(0.2);
    chart->setMargins(QMargins(2, 2, 2, 2));
    Chart = new QChartView(chart, this);
    // Without antialiasing: a smooth line of a long run would cost the
    // window more time than all the rest of the screen together.
    Chart->setMinimumSize(320, 220);
    results->addWidget(Chart, 1);
    right->addLayout(results, 2);

    auto* fields = new QGridLayout;
    fields->setVerticalSpacing(2);
    SampleField = new QLineEdit(this);
    TicksField = new QLineEdit(QStringLiteral("360"), this);
    fields->addWidget(new QLabel(QStringLiteral("Sample:"), this), 0, 0);
    fields->addWidget(SampleField, 0, 1);
    fields->addWidget(
        new QLabel(QString::fromUtf8("Number of ticks per angle 360\u00b0 (y-axis):"), this), 1, 0);
    fields->addWidget(TicksField, 1, 1);
    right->addLayout(fields);
    main->addLayout(right, 1);

    connect(DeviceList, &QComboBox::activated, this, &LiveWindow::DeviceChosen);
    connect(Picture, &PictureView::MouseDown, this, &LiveWindow::PictureClicked);
    connect(ChangeButton, &QPushButton::clicked, this, &LiveWindow::ChangeClick);
    connect(ContrastArrows, &UpDown::Changing, this, &LiveWindow::ContrastChanging);
    connect(DarkHand, &QRadioButton::toggled, this, [this](bool on) {
        if (on) HandChosen(torvi::HandColour::Dark);
    });
    connect(LightHand, &QRadioButton::toggled, this, [this](bool on) {
        if (on) HandChosen(torvi::HandColour::Light);
    });
    connect(LearnButton, &QPushButton::clicked, this, &LiveWindow::LearnClick);
    connect(MeasureButton, &QPushButton::clicked, this, &LiveWindow::MeasureClick);
    connect(StopButton, &QPushButton::clicked, this, &LiveWindow::StopClick);
    connect(SaveResultButton, &QPushButton::clicked, this, &LiveWindow::SaveResultClick);
    connect(SaveFramesButton, &QPushButton::clicked, this, &LiveWindow::SaveFramesClick);
    // A new tick count rescales the value and the graph at once.
    connect(TicksField, &QLineEdit::textChanged, this, [this] {
        shownFrames_ = graphFrames_ = static_cast<std::size_t>(-1);
        UpdateScreen();
        if (Session.Step() == LiveStep::Finished) UpdateGraph(true);
    });
}

void LiveWindow::FillDeviceList() {
    DeviceList->clear();
    sources_ = torvi::gui::CaptureDriverList();
    for (std::size_t i = 0; i < sources_.size(); ++i)
        DeviceList->addItem(Text(sources_[i].Name), static_cast<int>(i));
    if (sources_.empty())
        NoDeviceText->setText(QStringLiteral("No video capture device was found. Choose \"") +
                              PlayEntryText() + QStringLiteral("\" to try a film."));
    DeviceList->addItem(PlayEntryText());
}

void LiveWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (event->spontaneous() || opened_) return;
    opened_ = true;
    PollTimer->start();
    DeviceList->setFocus();
    // The first device is chosen; without one the window waits for a film.
    if (DeviceList->count() > 1) DeviceChosen(0);
}

void LiveWindow::closeEvent(QCloseEvent* event) {
    PollTimer->stop();
    Session.CloseDevice();
    event->accept();
}

bool LiveWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ValueText && event->type() == QEvent::Paint && valuePending_) {
        valuePending_ = false;
        Q_EMIT valuePainted(valueArrival_);
    }
    return QWidget::eventFilter(watched, event);
}

// Steps ---------------------------------------------------------------------------

void LiveWindow::ApplyStep() {
    const LiveStep step = Session.Step();
    appliedStep_ = step;
    const torvi::LiveControlEnabling table = torvi::LiveEnabledControls(step);
    auto on = [&](LiveControl control) { return table[static_cast<std::size_t>(control)]; };
    DeviceList->setEnabled(on(LiveControl::DeviceList));
    ChangeButton->setEnabled(on(LiveControl::Change));
    DarkHand->setEnabled(on(LiveControl::HandColour));
    LightHand->setEnabled(on(LiveControl::HandColour));
    ContrastArrows->setEnabled(on(LiveControl::ContrastArrows));
    ContrastField->setEnabled(on(LiveControl::ContrastArrows));
    LearnButton->setEnabled(on(LiveControl::Learn));
    MeasureButton->setEnabled(on(LiveControl::Measure));
    StopButton->setEnabled(on(LiveControl::Stop));
    RecordBox->setEnabled(on(LiveControl::Record));
    SaveResultButton->setEnabled(on(LiveControl::Results) && Session.HasResult());
    SaveFramesButton->setEnabled(on(LiveControl::Results) && Session.HasResult());
    Prompt->setText(QString::fromLatin1(torvi::LiveStepPrompt(step)));
    if (torvi::LiveCrossCursor(step))
        Picture->setCursor(Qt::CrossCursor);
    else
        Picture->unsetCursor();
    const torvi::MeasurementSettings& settings = Session.Settings();
    const bool marked =
        step != LiveStep::ChooseDevice && step != LiveStep::MarkCentre && step != LiveStep::Failed;
    CentreText->setText(marked ? QString::number(settings.CentreX) + QLatin1Char(':') +
                                     QString::number(settings.CentreY)
                               : QString());
    RadiusText->setText(
        marked && step != LiveStep::MarkRadius ? QString::number(settings.HandRadius) : QString());
    ContrastArrows->SetPosition(Session.ContrastThreshold());
    ContrastField->setText(QString::number(Session.ContrastThreshold()));
    if (step == LiveStep::Learning && Session.Frames().empty()) {
        // A new run: the last run's value and graph go.
        shownFrames_ = graphFrames_ = 0;
        ValueText->setText(QStringLiteral("-"));
        Series->clear();
        AxisX->setRange(0, 1);
        AxisX->setTickInterval(0.2);
        AxisY->setRange(0, 1);
    }
    if (step == LiveStep::Finished) UpdateGraph(true);
    if (!MaskShown(step)) MaskView->clear();
    UpdateScreen();
}

void LiveWindow::ShowMessage() {
    const std::string message = Session.TakeMessage();
    if (message.empty() || showingMessage_) return;
    // The box runs its own loop, in which the timer goes on polling.
    showingMessage_ = true;
    Dialogs().ShowError(this, Text(message), torvi::gui::MessageIcon::Stop);
    showingMessage_ = false;
}

void LiveWindow::Poll() {
    if (Session.Poll() || appliedStep_ != Session.Step()) ApplyStep();
    ShowMessage();
    const Clock::time_point now = Clock::now();
    if (now - lastScreen_ >= ScreenEvery)
        UpdateScreen();
    else if (now - lastValue_ >= ValueEvery)
        UpdateValue();
}

// The screen ------------------------------------------------------------------------

void LiveWindow::UpdateValue() {
    lastValue_ = Clock::now();
    const std::vector<torvi::LiveFrame>& frames = Session.Frames();
    if (frames.size() == shownFrames_) return;
    shownFrames_ = frames.size();
    if (frames.empty()) {
        ValueText->setText(QStringLiteral("-"));
        return;
    }
    const std::string value =
        torvi::LiveSession::ValueText(frames.back(), TicksField->text().toStdString(), Separator());
    ValueText->setText(value.empty() ? QStringLiteral("?") : Text(value));
    valueArrival_ = frames.back().ArrivalMicroseconds;
    valuePending_ = true;
}

void LiveWindow::UpdateScreen() {
    lastScreen_ = Clock::now();
    const LiveStep step = Session.Step();
    if (Session.LatestPicture(picture_, pictureSerial_)) {
        if (picture_.Width() != Picture->Picture().Width() ||
            picture_.Height() != Picture->Picture().Height())
            FitPicture(picture_.Width(), picture_.Height());
        Picture->SetPicture(picture_);
        NoDeviceText->hide();
        // While measuring the masking view is only watched, not worked with.
        if (MaskShown(step) &&
            (step != LiveStep::Measuring || Clock::now() - lastMask_ >= GraphEvery))
            ShowMask();
    }
    UpdateValue();
    const std::vector<torvi::LiveFrame>& frames = Session.Frames();
    const double seconds =
        frames.empty() ? 0 : static_cast<double>(frames.back().TimeMicroseconds) / 1e6;
    QString run = QStringLiteral("Time: %1 s\nFrames: %2\nDropped: %3")
                      .arg(seconds, 0, 'f', 1)
                      .arg(frames.size())
                      .arg(Session.DroppedFrames());
    if (step == LiveStep::Learning || step == LiveStep::Learned)
        run += QStringLiteral("\nLearned: %1").arg(Session.LearnedFrames());
    if (Session.RecordedFrames() > 0)
        run += QStringLiteral("\nRecorded: %1").arg(Session.RecordedFrames());
    RunText->setText(run);
    if (step == LiveStep::Measuring && Clock::now() - lastGraph_ >= GraphEvery) UpdateGraph(false);
}

void LiveWindow::UpdateGraph(bool whole) {
    lastGraph_ = Clock::now();
    const std::vector<torvi::LiveFrame>& frames = Session.Frames();
    if (frames.size() == graphFrames_) return;
    graphFrames_ = frames.size();
    if (frames.empty()) {
        Series->clear();
        return;
    }
    const double last = static_cast<double>(frames.back().TimeMicroseconds) / 1e6;
    const double from = whole ? 0 : std::max(0.0, last - GraphSpanSeconds);
    std::vector<torvi::GraphPoint> points;
    try {
        const auto most =
            static_cast<std::size_t>(GraphPointsPerPixel * std::max(Chart->width(), 100));
        points = Session.GraphPointsBetween(from, last, most, TicksField->text().toStdString(),
                                            Separator());
    } catch (const torvi::Error&) {
        Series->clear(); // ticks that do not convert: "?" is shown as the value
        return;
    }
    QList<QPointF> list;
    list.reserve(static_cast<qsizetype>(points.size()));
    double low = points.front().Y;
    double high = low;
    for (const torvi::GraphPoint& p : points) {
        list.append(QPointF(p.X, p.Y));
        low = std::min(low, p.Y);
        high = std::max(high, p.Y);
    }
    Series->replace(list);
    // The time axis runs to the newest frame without rounding, so that it
    // moves on smoothly; the values get round numbers.
    const double right = std::max(last, from + 1);
    AxisX->setRange(from, right);
    AxisX->setTickInterval(RoundStep((right - from) / 5));
    if (high - low < 1e-9) {
        low -= 1;
        high += 1;
    }
    AxisY->setRange(low, high);
    AxisY->applyNiceNumbers();
}

bool LiveWindow::MaskShown(LiveStep step) {
    return step == LiveStep::Learning || step == LiveStep::Learned || step == LiveStep::Measuring;
}

void LiveWindow::ShowMask() {
    lastMask_ = Clock::now();
    const torvi::Bitmap mask = Session.MaskingPicture(picture_);
    if (mask.Empty()) return;
    QPixmap pixmap = QPixmap::fromImage(torvi::gui::ToQImage(mask));
    // A large square is shown smaller; a small one keeps its pixels.
    const QSize room = MaskView->contentsRect().size();
    if (pixmap.width() > room.width() || pixmap.height() > room.height())
        pixmap = pixmap.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    MaskView->setPixmap(pixmap);
}

void LiveWindow::FitPicture(int width, int height) {
    // The picture at the device's own size, as far as the screen allows.
    const QRect screen = this->screen()->availableGeometry();
    const int frame = 2 * PictureBox->frameWidth();
    const QSize wanted =
        findChild<PicturePane*>()->SizeFor(QSize(width, height)) + QSize(frame, frame);
    const QSize most(std::max(320, screen.width() - 260), std::max(240, screen.height() - 340));
    PictureBox->setMinimumSize(wanted.boundedTo(most));
    adjustSize();
}

// Handlers --------------------------------------------------------------------------

void LiveWindow::OpenSource(const torvi::CaptureSource& source) {
    picture_ = torvi::Bitmap();
    pictureSerial_ = 0;
    Session.OpenDevice(source);
    ApplyStep();
    ShowMessage();
}

void LiveWindow::DeviceChosen(int index) {
    if (index < 0 || !DeviceList->isEnabled()) return;
    const QVariant entry = DeviceList->itemData(index);
    if (entry.isValid()) {
        OpenSource(sources_.at(static_cast<std::size_t>(entry.toInt())));
        return;
    }
    const std::optional<QString> film = Dialogs().OpenPicture(this, filmDialog_);
    if (!film) return;
    // The film goes into the list, so that it can be played again.
    const torvi::CaptureSource source = torvi::CaptureSource::PlayedFilm(film->toStdString());
    int item = DeviceList->findData(*film, Qt::ToolTipRole);
    if (item < 0) {
        item = DeviceList->count() - 1;
        DeviceList->insertItem(item, QFileInfo(*film).fileName(),
                               static_cast<int>(sources_.size()));
        DeviceList->setItemData(item, *film, Qt::ToolTipRole);
        sources_.push_back(source);
    }
    DeviceList->setCurrentIndex(item);
    OpenSource(source);
}

void LiveWindow::PictureClicked(Qt::MouseButton, int x, int y) {
    if (!torvi::LiveEnabled(Session.Step(), LiveControl::PictureClicks)) return;
    Session.ClickPicture(x, y);
    ApplyStep();
}

void LiveWindow::ChangeClick() {
    Session.Change();
    ApplyStep();
}

void LiveWindow::ContrastChanging(int position) {
    Session.SetContrast(position);
    ContrastField->setText(QString::number(Session.ContrastThreshold()));
    // The masking view follows at once, on the picture shown.
    ShowMask();
}

void LiveWindow::HandChosen(torvi::HandColour hand) {
    Session.ChooseHand(hand);
}

void LiveWindow::LearnClick() {
    Session.StartLearning();
    ApplyStep();
    ShowMessage();
}

void LiveWindow::MeasureClick() {
    std::optional<std::string> film;
    if (RecordBox->isChecked()) {
        const std::optional<QString> name =
            AskFileName(this, QStringLiteral("Record to AVI"), QStringLiteral("Live.avi"),
                        QStringLiteral("AVI File (*.avi)"));
        if (!name) return;
        film = name->toStdString();
    }
    Session.StartMeasuring(film);
    ApplyStep();
    ShowMessage();
}

void LiveWindow::StopClick() {
    Session.Stop();
    ApplyStep();
    ShowMessage();
}

void LiveWindow::SaveResultClick() {
    if (TicksField->text().isEmpty())
        TicksField->setText(QString::fromStdString(torvi::DefaultedFieldText("")));
    const std::optional<QString> name =
        AskFileName(this, QStringLiteral("Save result as"), QStringLiteral("result.txt"),
                    QStringLiteral("soubor TXT (*.txt)"));
    if (!name) return;
    Guarded(this, [&] {
        Session.WriteResult(torvi::CompleteResultFileName(name->toStdString()),
                            SampleField->text().toStdString(), TicksField->text().toStdString(),
                            Separator(), FineAngle);
    });
}

void LiveWindow::SaveFramesClick() {
    const std::optional<QString> name =
        AskFileName(this, QStringLiteral("Save frames as"), QStringLiteral("frames.csv"),
                    QStringLiteral("CSV table (*.csv)"));
    if (!name) return;
    Guarded(this, [&] { Session.WriteFrames(name->toStdString()); });
}
