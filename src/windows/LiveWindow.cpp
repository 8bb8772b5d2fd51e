#include "LiveWindow.h"

#include "Error.h"
#include "MeasurementSignals.h"
#include "locale/UserLocale.h"
#include "results/ResultNumber.h"
#include "widgets/BitmapImage.h"
#include "widgets/CaptureWindowWidget.h"
#include "widgets/MarkingGroup.h"
#include "widgets/MeasurementMarks.h"
#include "widgets/PicturePane.h"
#include "widgets/PictureView.h"
#include "widgets/PromptPanel.h"
#include "widgets/ResultFields.h"
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

using torvi::Control;
using torvi::Step;
using torvi::gui::Dialogs;

namespace {

using Clock = std::chrono::steady_clock;

// The value is shown as soon as it comes, up to 50 times a second, so that a
// camera's every frame reaches the screen without waiting for the next turn
// of a fixed clock; the picture is redrawn at most 30 times a second and the
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
    Signals = new MeasurementSignals(Session, this);
    connect(Signals, &MeasurementSignals::stepChanged, this, [this] { ApplyStep(); });
    // The marks and the newest direction over the live picture.
    Marks = new MeasurementMarks(*Picture, Session, this);
    connect(Signals, &MeasurementSignals::stepChanged, Marks, &MeasurementMarks::Update);
    connect(Signals, &MeasurementSignals::centreChanged, Marks, &MeasurementMarks::Update);
    connect(Signals, &MeasurementSignals::radiusChanged, Marks, &MeasurementMarks::Update);
    connect(Signals, &MeasurementSignals::framesMeasured, Marks, &MeasurementMarks::Update);
    connect(Signals, &MeasurementSignals::failed, this,
            [this](const QString& message) { ShowMessage(message); });
    PollTimer = new QTimer(this);
    PollTimer->setInterval(PollMilliseconds);
    connect(PollTimer, &QTimer::timeout, this, &LiveWindow::Poll);
    FillDeviceList();
    ApplyStep();
}

LiveWindow::~LiveWindow() {
    PollTimer->stop();
    // The session goes before the window's children: its reports end first.
    delete Signals;
    Signals = nullptr;
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

    const MarkingGroup marks = NewMarkingGroup(left, torvi::DefaultContrast);
    CentreText = marks.CentreText;
    RadiusText = marks.RadiusText;
    ContrastField = marks.ContrastField;
    ContrastArrows = marks.ContrastArrows;
    DarkHand = marks.DarkHand;
    LightHand = marks.LightHand;
    column->addWidget(marks.Box);

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
        torvi::gui::KeepNumberText(TicksField, Separator());
        shownFrames_ = graphFrames_ = static_cast<std::size_t>(-1);
        UpdateScreen();
        if (Session.CurrentStep() == Step::Finished) UpdateGraph(true);
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
    const Step step = Session.CurrentStep();
    auto on = [&](Control control) { return Session.Enabled(control); };
    DeviceList->setEnabled(on(Control::DeviceList));
    ChangeButton->setEnabled(on(Control::Change));
    DarkHand->setEnabled(on(Control::HandColour));
    LightHand->setEnabled(on(Control::HandColour));
    ContrastArrows->setEnabled(on(Control::ContrastArrows));
    ContrastField->setEnabled(on(Control::ContrastArrows));
    LearnButton->setEnabled(on(Control::Learn));
    MeasureButton->setEnabled(on(Control::Measure));
    StopButton->setEnabled(on(Control::Stop));
    RecordBox->setEnabled(on(Control::Record));
    SaveResultButton->setEnabled(on(Control::Results));
    SaveFramesButton->setEnabled(on(Control::Results));
    Prompt->setText(QString::fromLatin1(torvi::StepPrompt(step)));
    if (torvi::CrossCursor(step))
        Picture->setCursor(Qt::CrossCursor);
    else
        Picture->unsetCursor();
    const torvi::MeasurementSettings& settings = Session.Settings();
    const bool marked =
        step != Step::ChooseDevice && step != Step::MarkCentre && step != Step::DeviceFailed;
    CentreText->setText(marked ? QString::number(settings.CentreX) + QLatin1Char(':') +
                                     QString::number(settings.CentreY)
                               : QString());
    RadiusText->setText(marked && step != Step::MarkRadius ? QString::number(settings.HandRadius)
                                                           : QString());
    ContrastArrows->SetPosition(Session.ContrastThreshold());
    ContrastField->setText(QString::number(Session.ContrastThreshold()));
    if (step == Step::Learning && Session.DeviceFrames().empty()) {
        // A new run: the last run's value and graph go.
        shownFrames_ = graphFrames_ = 0;
        ValueText->setText(QStringLiteral("-"));
        Series->clear();
        AxisX->setRange(0, 1);
        AxisX->setTickInterval(0.2);
        AxisY->setRange(0, 1);
    }
    if (step == Step::Finished) {
        UpdateGraph(true);
        // Once a run: what it flooded.
        if (!floodsSaid_) {
            floodsSaid_ = true;
            const QString flooded = torvi::gui::FloodText(Session.Result().Flooded);
            // Said once the report that ended the run has been dealt with.
            if (!flooded.isEmpty())
                QMetaObject::invokeMethod(
                    this, [this, flooded] { ShowMessage(flooded); }, Qt::QueuedConnection);
        }
    } else if (step == Step::Measuring) {
        floodsSaid_ = false;
    }
    if (!MaskShown(step)) MaskView->clear();
    UpdateScreen();
}

void LiveWindow::ShowMessage(const QString& text) {
    // The box runs its own loop, in which the session goes on being polled
    // and may report again: those messages follow this one.
    if (showingMessage_) {
        pendingMessages_.push_back(text);
        return;
    }
    showingMessage_ = true;
    Dialogs().ShowError(this, text, torvi::gui::MessageIcon::Stop);
    while (!pendingMessages_.isEmpty())
        Dialogs().ShowError(this, pendingMessages_.takeFirst(), torvi::gui::MessageIcon::Stop);
    showingMessage_ = false;
}

void LiveWindow::Poll() {
    const Clock::time_point now = Clock::now();
    if (now - lastScreen_ >= ScreenEvery)
        UpdateScreen();
    else if (now - lastValue_ >= ValueEvery)
        UpdateValue();
}

// The screen ------------------------------------------------------------------------

void LiveWindow::UpdateValue() {
    lastValue_ = Clock::now();
    const std::vector<torvi::LiveFrame>& frames = Session.DeviceFrames();
    if (frames.size() == shownFrames_) return;
    shownFrames_ = frames.size();
    if (frames.empty()) {
        ValueText->setText(QStringLiteral("-"));
        return;
    }
    const std::string value = torvi::TurnValueText(frames.back().Unwrapped,
                                                   TicksField->text().toStdString(), Separator());
    ValueText->setText(value.empty() ? QStringLiteral("?") : Text(value));
    valueArrival_ = frames.back().ArrivalMicroseconds;
    valuePending_ = true;
}

void LiveWindow::UpdateScreen() {
    lastScreen_ = Clock::now();
    const Step step = Session.CurrentStep();
    if (Session.LatestPicture(picture_, pictureSerial_)) {
        if (picture_.Width() != Picture->Picture().Width() ||
            picture_.Height() != Picture->Picture().Height())
            FitPicture(picture_.Width(), picture_.Height());
        Picture->SetPicture(picture_);
        NoDeviceText->hide();
        // While measuring the masking view is only watched, not worked with.
        if (MaskShown(step) && (step != Step::Measuring || Clock::now() - lastMask_ >= GraphEvery))
            ShowMask();
    }
    UpdateValue();
    const std::vector<torvi::LiveFrame>& frames = Session.DeviceFrames();
    const double seconds =
        frames.empty() ? 0 : static_cast<double>(frames.back().TimeMicroseconds) / 1e6;
    QString run = QStringLiteral("Time: %1 s\nFrames: %2\nDropped: %3")
                      .arg(seconds, 0, 'f', 1)
                      .arg(frames.size())
                      .arg(Session.DroppedFrames());
    if (step == Step::Learning || step == Step::Learned)
        run += QStringLiteral("\nLearned: %1").arg(Session.LearnedFrames());
    if (Session.RecordedFrames() > 0)
        run += QStringLiteral("\nRecorded: %1").arg(Session.RecordedFrames());
    RunText->setText(run);
    if (step == Step::Measuring && Clock::now() - lastGraph_ >= GraphEvery) UpdateGraph(false);
}

void LiveWindow::UpdateGraph(bool whole) {
    lastGraph_ = Clock::now();
    const std::vector<torvi::LiveFrame>& frames = Session.DeviceFrames();
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
    ShowRange(AxisY, low, high);
}

bool LiveWindow::MaskShown(Step step) {
    return step == Step::Learning || step == Step::Learned || step == Step::Measuring;
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
    Session.ClickPicture(x, y);
}

void LiveWindow::ChangeClick() {
    Session.Change();
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
}

void LiveWindow::StopClick() {
    Session.Stop();
}

void LiveWindow::SaveResultClick() {
    const auto name = torvi::gui::AskResultFile(this, nullptr, TicksField, Separator());
    if (!name) return;
    Session.SetFine(FineAngle);
    Session.WriteDeviceResult(*name, SampleField->text().toStdString(),
                              TicksField->text().toStdString(), Separator());
}

void LiveWindow::SaveFramesClick() {
    const std::optional<QString> name =
        AskFileName(this, QStringLiteral("Save frames as"), QStringLiteral("frames.csv"),
                    QStringLiteral("CSV table (*.csv)"));
    if (!name) return;
    Session.WriteDeviceFrames(name->toStdString());
}
