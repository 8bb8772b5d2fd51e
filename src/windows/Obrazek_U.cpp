#include "Obrazek_U.h"

#include "About_U.h"
#include "AviCapture_U.h"
#include "Error.h"
#include "FileTypes.h"
#include "Graf_U.h"
#include "LiveWindow.h"
#include "Maskovani_U.h"
#include "MeasurementSignals.h"
#include "PictureFiles.h"
#include "ProgressSpeed.h"
#include "analysis/DialRim.h"
#include "locale/UserLocale.h"
#include "measurement/ControlTable.h"
#include "measurement/Measurement.h"
#include "results/NumberText.h"
#include "results/ResultTable.h"
#include "video/FilmReader.h"
#include "widgets/MarkingGroup.h"
#include "widgets/MeasurementMarks.h"
#include "widgets/PicturePane.h"
#include "widgets/PictureView.h"
#include "widgets/PromptPanel.h"
#include "widgets/ResultFields.h"
#include "widgets/UpDown.h"

#include <QAction>
#include <QApplication>
#include <QBitmap>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <memory>

using torvi::gui::Dialogs;
using torvi::gui::Guarded;

// The button pictures live in the window library, which a static library
// does not initialise by itself.
static void LoadButtonPictures() {
    Q_INIT_RESOURCE(torvi);
}

namespace {

// The time a long run (opening a film, the calibration, the measurement) has
// left, on a label beside the progress bar once it can be told; the activity
// text before the bar stays as it is.
void ShowTimeLeft(QStatusBar* bar, MeasurementSignals* m) {
    auto* label = new QLabel(bar);
    label->setObjectName(QStringLiteral("TimeLeft"));
    label->setMinimumWidth(80);
    label->setAlignment(Qt::AlignCenter);
    bar->addWidget(label);
    struct Run {
        torvi::ProgressSpeed Speed;
        bool Active = false;
    };
    auto run = std::make_shared<Run>();
    QObject::connect(m, &MeasurementSignals::activityChanged, label,
                     [label, run](const QString& text) {
                         run->Active = !text.isEmpty();
                         label->clear();
                     });
    QObject::connect(m, &MeasurementSignals::progressRangeChanged, label, [run](int maximum) {
        if (run->Active) run->Speed.Start(maximum);
    });
    QObject::connect(m, &MeasurementSignals::progressChanged, label, [label, run](int value) {
        if (run->Active && run->Speed.Update(value))
            label->setText(QString::fromStdString(torvi::DurationText(*run->Speed.SecondsLeft())) +
                           QStringLiteral(" left"));
    });
}

QPushButton* PictureButton(QWidget* parent, QStyle::StandardPixmap icon, const QString& tip) {
    auto* button = new QPushButton(parent);
    button->setIcon(parent->style()->standardIcon(icon));
    button->setToolTip(tip);
    button->setFixedHeight(25);
    return button;
}

} // namespace

TObrazek::TObrazek(torvi::Measurement& model, QWidget* parent) : QMainWindow(parent), Model(model) {
    LoadButtonPictures();
    Signals = new MeasurementSignals(Model, this);
    setWindowTitle(QStringLiteral("Torvi"));
    BuildMenu();
    BuildControls();
    ConnectModel();
    // FormCreate
    AnimationStopped = true;
    Animation = new QTimer(this);
    Animation->setSingleShot(true);
    connect(Animation, &QTimer::timeout, this, [this] { AnimationPass(); });

    // The other windows, in the order of start-up; the main window owns them.
    Maskovani = new TMaskovani(Model, *Signals, this);
    Graf = new TGraf(Model, this);
    About = new TAbout(this);

    // Most of the screen's free area, never more: the picture fits what the
    // controls leave of it. The window's frame is not known before it is
    // shown, so a margin is left for it.
    QSize size(581, 409 + menuBar()->sizeHint().height());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect free = screen->availableGeometry();
        const QSize most = (free.size() - QSize(16, 40)).expandedTo(QSize(1, 1));
        size = size.expandedTo(free.size() * 0.9).boundedTo(most);
        resize(size);
        move(free.center() - rect().center());
    } else {
        resize(size);
    }
    setAcceptDrops(true);
    connect(Graf, &TGraf::FrameClicked, this, [this](int index) { GoToFrame(index); });
}

TObrazek::~TObrazek() {
    Signals->EndRun();
}

void TObrazek::BuildMenu() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    OtevtGIF1 = file->addAction(QStringLiteral("&Open..."), this, [this] { OtevtGIF1Click(); });
    OtevtGIF1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    UloitTXT1 = file->addAction(QStringLiteral("&Save TXT"), this, [this] { UloitTXT1Click(); });
    UloitTXT1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    UloitTXT1->setEnabled(false);
    file->addSeparator();
    Konec1 = file->addAction(QStringLiteral("&Exit"), this, [this] { Konec1Click(); });

    QMenu* capture = menuBar()->addMenu(QStringLiteral("&Capture"));
    SaveBMP2 = capture->addAction(QStringLiteral("Save captured BMP..."), this,
                                  [this] { SaveBMP2Click(); });
    SaveBMP2->setEnabled(false);
    capture->addSeparator();
    RecordAVI1 =
        capture->addAction(QStringLiteral("&Record AVI..."), this, [this] { RecordAVI1Click(); });
    LiveMeasurement1 = capture->addAction(QStringLiteral("&Live measurement..."), this,
                                          [this] { LiveMeasurement1Click(); });

    QMenu* masking = menuBar()->addMenu(QStringLiteral("&Masking"));
    ShowmaskedBMP1 = masking->addAction(QStringLiteral("Show &masked BMP"));
    ShowmaskedBMP1->setCheckable(true);
    ShowmaskedBMP1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    ShowmaskedBMP1->setEnabled(false);
    connect(ShowmaskedBMP1, &QAction::triggered, this, [this] { ShowmaskedBMP1Click(); });
    SaveBMP1 =
        masking->addAction(QStringLiteral("Save masked BMP..."), this, [this] { SaveBMP1Click(); });
    SaveBMP1->setEnabled(false);
    // The marks are drawn over the picture only: saved pictures never hold them.
    ShowMarks1 = masking->addAction(QStringLiteral("Show ma&rks"));
    ShowMarks1->setCheckable(true);
    ShowMarks1->setChecked(true);
    connect(ShowMarks1, &QAction::toggled, this,
            [this](bool checked) { Image1->SetMarksShown(checked); });
    // Results of the other kind of angle no longer hold once it is toggled.
    FineAngle1 = masking->addAction(QStringLiteral("&Fine angle"));
    FineAngle1->setCheckable(true);
    connect(FineAngle1, &QAction::toggled, this, [this](bool checked) {
        Model.SetFine(checked);
        if (Live) Live->FineAngle = checked;
    });
    // The dial's rim by clicks, for the fine angle of a dial seen askew whose
    // rim the picture does not show clearly; choosing it again ends it.
    MarkRim1 = masking->addAction(QStringLiteral("Mar&k the rim"));
    MarkRim1->setCheckable(true);
    connect(MarkRim1, &QAction::triggered, this, [this] {
        if (Model.MarkingRim())
            Model.EndRimMarking();
        else if (!Model.StartRimMarking())
            MarkRim1->setChecked(false);
    });

    QMenu* help = menuBar()->addMenu(QStringLiteral("Help"));
    About3 =
        help->addAction(QStringLiteral("&About application..."), this, [this] { About3Click(); });
}

void TObrazek::BuildControls() {
    auto* central = new QWidget(this);
    auto* main = new QHBoxLayout(central);
    main->setContentsMargins(0, 0, 0, 0);
    main->setSpacing(0);

    // Left column.
    auto* left = new QWidget(central);
    left->setFixedWidth(169);
    auto* column = new QVBoxLayout(left);
    column->setContentsMargins(4, 2, 4, 2);
    column->setSpacing(3);

    const MarkingGroup marks = NewMarkingGroup(left, torvi::DefaultContrast);
    Label4 = marks.CentreText;
    Label5 = marks.RadiusText;
    Edit1 = marks.ContrastField;
    UpDown1 = marks.ContrastArrows;
    Label6 = marks.ContrastNote;
    RadioButton2 = marks.DarkHand;
    RadioButton1 = marks.LightHand;
    column->addWidget(marks.Box);

    auto* okRow = new QHBoxLayout;
    Button2 = new QPushButton(QStringLiteral("OK"), left);
    Button1 = new QPushButton(QStringLiteral("&Change"), left);
    Button2->setEnabled(false);
    Button1->setEnabled(false);
    okRow->addWidget(Button2);
    okRow->addWidget(Button1);
    column->addLayout(okRow);

    const PromptPanel prompt = NewPromptPanel(left);
    Panel2 = prompt.Frame;
    Panel2->setFixedHeight(78);
    Label2 = prompt.Text;
    column->addWidget(Panel2);

    Edit2 = new QLineEdit(left);
    Edit2->setReadOnly(true);
    Edit2->setEnabled(false);
    column->addWidget(Edit2);

    auto* navRow = new QHBoxLayout;
    navRow->setSpacing(2);
    BitBtn6 = PictureButton(left, QStyle::SP_MediaSkipBackward, QStringLiteral("First"));
    BitBtn1 = PictureButton(left, QStyle::SP_MediaSeekBackward, QStringLiteral("Previous"));
    BitBtn2 = PictureButton(left, QStyle::SP_MediaSeekForward, QStringLiteral("Next"));
    BitBtn7 = PictureButton(left, QStyle::SP_MediaSkipForward, QStringLiteral("Last"));
    for (QPushButton* b : {BitBtn6, BitBtn1, BitBtn2, BitBtn7}) {
        b->setEnabled(false);
        navRow->addWidget(b);
    }
    column->addLayout(navRow);

    BitBtn5 = new QPushButton(style()->standardIcon(QStyle::SP_MediaPlay),
                              QStringLiteral("&Animation"), left);
    BitBtn5->setIconSize(QSize(16, 16));
    BitBtn3 = new QPushButton(style()->standardIcon(QStyle::SP_FileDialogDetailedView),
                              QStringLiteral("&Graph"), left);
    BitBtn4 = new QPushButton(style()->standardIcon(QStyle::SP_DialogSaveButton),
                              QStringLiteral("&Save result"), left);
    for (QPushButton* b : {BitBtn5, BitBtn3, BitBtn4}) {
        b->setEnabled(false);
        column->addWidget(b);
    }
    column->addStretch();
    main->addWidget(left);

    // Right side: the picture and the three fields under it.
    auto* right = new QWidget(central);
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->setSpacing(0);
    // The picture fits the space until the user zooms; the marks are drawn
    // over it.
    auto* pane = new PicturePane(right);
    ScrollBox1 = pane->Scroll();
    Image1 = pane->View();
    Marks = new MeasurementMarks(*Image1, Model, this);
    rightLayout->addWidget(pane, 1);

    auto* fields = new QFrame(right);
    fields->setFixedHeight(75);
    auto* fieldGrid = new QGridLayout(fields);
    fieldGrid->setContentsMargins(6, 4, 6, 4);
    fieldGrid->setVerticalSpacing(2);
    Label10 = new QLabel(QStringLiteral("Sample:"), fields);
    Label7 = new QLabel(QStringLiteral("Number of frames per second    (x-axis):"), fields);
    Label9 = new QLabel(QString::fromUtf8("Number of ticks per angle 360\u00b0 (y-axis):"), fields);
    Edit5 = new QLineEdit(fields);
    Edit3 = new QLineEdit(QStringLiteral("25"), fields);
    Edit4 = new QLineEdit(QStringLiteral("360"), fields);
    fieldGrid->addWidget(Label10, 0, 0);
    fieldGrid->addWidget(Edit5, 0, 1);
    fieldGrid->addWidget(Label7, 1, 0);
    fieldGrid->addWidget(Edit3, 1, 1);
    fieldGrid->addWidget(Label9, 2, 0);
    fieldGrid->addWidget(Edit4, 2, 1);
    Label7->setTextFormat(Qt::PlainText);
    rightLayout->addWidget(fields);
    main->addWidget(right, 1);
    setCentralWidget(central);

    // Status bar: frame count, activity, an empty panel, and the progress bar.
    StatusPanel0 = new QLabel(QStringLiteral("Count of opened pictures *.AVI: 0"));
    StatusPanel0->setMinimumWidth(200);
    StatusPanel1 = new QLabel;
    StatusPanel1->setFixedWidth(110);
    StatusPanel1->setAlignment(Qt::AlignCenter);
    StatusPanel2 = new QLabel(statusBar());
    StatusPanel2->setFixedWidth(50);
    ProgressBar = new QProgressBar;
    ProgressBar->setRange(0, 100);
    ProgressBar->setValue(0);
    ProgressBar->setTextVisible(false);
    ProgressBar->setMaximumHeight(16);
    statusBar()->addWidget(StatusPanel0);
    statusBar()->addWidget(StatusPanel1);
    // The progress bar lies over the third, always empty panel.
    StatusPanel2->hide();
    statusBar()->addWidget(ProgressBar, 1);
    statusBar()->setSizeGripEnabled(true);

    connect(Image1, &PictureView::MouseDown, this,
            [this](Qt::MouseButton b, int x, int y) { Image1MouseDown(b, x, y); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    connect(UpDown1, &UpDown::Changing, this, [this](int p) { UpDown1Changing(p); });
    connect(RadioButton2, &QRadioButton::toggled, this, [this](bool on) {
        if (on) RadioButton2Click();
    });
    connect(RadioButton1, &QRadioButton::toggled, this, [this](bool on) {
        if (on) RadioButton1Click();
    });
    connect(BitBtn6, &QPushButton::clicked, this, [this] { BitBtn6Click(); });
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(); });
    connect(BitBtn7, &QPushButton::clicked, this, [this] { BitBtn7Click(); });
    connect(BitBtn5, &QPushButton::clicked, this, [this] { BitBtn5Click(); });
    connect(BitBtn3, &QPushButton::clicked, this, [this] { BitBtn3Click(); });
    connect(BitBtn4, &QPushButton::clicked, this, [this] { BitBtn4Click(); });
    connect(Edit3, &QLineEdit::textChanged, this, [this] { Edit3Change(); });
    connect(Edit4, &QLineEdit::textChanged, this, [this] { Edit4Change(); });
}

void TObrazek::ConnectModel() {
    MeasurementSignals* m = Signals;
    connect(m, &MeasurementSignals::stepChanged, this, [this] { ApplyStep(); });
    connect(m, &MeasurementSignals::activityChanged, StatusPanel1, &QLabel::setText);
    connect(m, &MeasurementSignals::frameCountChanged, StatusPanel0, &QLabel::setText);
    connect(m, &MeasurementSignals::progressRangeChanged, this,
            [this](int maximum) { ProgressBar->setRange(0, maximum); });
    connect(m, &MeasurementSignals::progressChanged, ProgressBar, &QProgressBar::setValue);
    ShowTimeLeft(statusBar(), m);
    connect(m, &MeasurementSignals::centreChanged, this, [this](int x, int y) {
        Label4->setText(QString::number(x) + QLatin1Char(':') + QString::number(y));
    });
    connect(m, &MeasurementSignals::radiusChanged, this,
            [this](int radius) { Label5->setText(QString::number(radius)); });
    connect(m, &MeasurementSignals::frameFieldChanged, Edit2, &QLineEdit::setText);
    connect(m, &MeasurementSignals::pictureChanged, this, [this](const torvi::Bitmap& picture) {
        Image1->SetPicture(picture);
        ShowmaskedBMP1->setChecked(false);
    });
    connect(m, &MeasurementSignals::contrastChanged, this, [this](int value) {
        UpDown1->SetPosition(value);
        Edit1->setText(QString::number(value));
    });
    // The marks follow every change of the step, the marks and the frame shown.
    connect(m, &MeasurementSignals::stepChanged, Marks, &MeasurementMarks::Update);
    connect(m, &MeasurementSignals::centreChanged, Marks, &MeasurementMarks::Update);
    connect(m, &MeasurementSignals::radiusChanged, Marks, &MeasurementMarks::Update);
    connect(m, &MeasurementSignals::pictureChanged, Marks, &MeasurementMarks::Update);
    connect(m, &MeasurementSignals::frameFieldChanged, Marks, &MeasurementMarks::Update);
    connect(m, &MeasurementSignals::activityChanged, Marks, &MeasurementMarks::Update);
    connect(m, &MeasurementSignals::failed, this,
            [this](const QString& message, const QString& detail) {
                Dialogs().ShowError(this, message, torvi::gui::MessageIcon::Stop, detail);
            });
}

void TObrazek::ApplyStep() {
    using torvi::Control;
    // The measurement remembers what each step left on; the widgets show it.
    auto apply = [&](Control control, std::initializer_list<QWidget*> widgets,
                     std::initializer_list<QAction*> actions = {}) {
        const bool on = Model.Enabled(control);
        for (QWidget* w : widgets)
            w->setEnabled(on);
        for (QAction* a : actions)
            a->setEnabled(on);
    };
    apply(Control::Ok, {Button2});
    apply(Control::Change, {Button1});
    apply(Control::ContrastField, {Edit1});
    apply(Control::ContrastArrows, {UpDown1});
    apply(Control::HandColour, {RadioButton1, RadioButton2});
    apply(Control::FrameField, {Edit2});
    apply(Control::Navigation, {BitBtn6, BitBtn1, BitBtn2, BitBtn7});
    apply(Control::Animation, {BitBtn5});
    apply(Control::Results, {BitBtn3, BitBtn4}, {UloitTXT1});
    apply(Control::MaskingItems, {}, {ShowmaskedBMP1, SaveBMP1});
    apply(Control::SaveCaptured, {}, {SaveBMP2});
    clickHandlerInstalled_ = Model.Enabled(Control::PictureClicks);
    Label2->setText(QString::fromLatin1(Model.Prompt()));
    MarkRim1->setChecked(Model.MarkingRim());
    if (Model.CrossCursorShown())
        Image1->setCursor(Qt::CrossCursor);
    else
        Image1->unsetCursor();
}

// Open ------------------------------------------------------------------------

void TObrazek::OtevtGIF1Click() {
    if (Model.Running()) return;
    StopAnimation();
    Model.ResetToNoMeasurement();

    const std::optional<QString> chosen = Dialogs().OpenPicture(this, OpenPictureDialog1);
    if (!chosen) return;
    Edit2->clear();
    const int filter =
        std::clamp(OpenPictureDialog1.FilterIndex, 1, static_cast<int>(torvi::OpenFilters.size()));
    const std::string fileExt = torvi::OpenFilters[static_cast<std::size_t>(filter - 1)].FileExt;
    // A long film is indexed on the worker, so the window stays responsive;
    // Esc or closing the window abandons the Open.
    StartRun(Model.BeginOpen(chosen->toStdString(), fileExt), [this] {
        ShowmaskedBMP1->setChecked(false);
        ShowFilmRate();
    });
}

void TObrazek::ShowFilmRate() {
    // A film's own rate replaces the field's text; pictures bring back the
    // usual rate while the field still holds the rate of a film before.
    std::optional<std::string> text;
    if (const torvi::FilmReader* film = Model.Film()) {
        const torvi::StatedFrameRate rate = film->NominalRate();
        text = torvi::FrameRateText(rate.Numerator, rate.Denominator, DecimalSeparator());
    }
    if (text) {
        Edit3->setText(QString::fromStdString(*text));
        filmRateText_ = Edit3->text();
    } else if (!filmRateText_.isEmpty() && Edit3->text() == filmRateText_) {
        Edit3->setText(QStringLiteral("25"));
        filmRateText_.clear();
    }
}

void TObrazek::dragEnterEvent(QDragEnterEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!urls.isEmpty() && urls.first().isLocalFile()) event->acceptProposedAction();
}

void TObrazek::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty() || !urls.first().isLocalFile()) return;
    event->acceptProposedAction();
    // Opened after the drop has ended, so the program the file came from is
    // not held while a film is indexed or an error box waits.
    const QString path = urls.first().toLocalFile();
    QTimer::singleShot(0, this, [this, path] { Q_EMIT FileDropped(path); });
}

// Marking ---------------------------------------------------------------------

void TObrazek::Image1MouseDown(Qt::MouseButton, int x, int y) {
    if (Model.MarkingRim()) {
        Model.AddRimPoint(x, y);
        return;
    }
    if (!clickHandlerInstalled_) return;
    Model.ClickPicture(x, y);
}

void TObrazek::Button1Click() {
    Model.Change();
}

void TObrazek::Button2Click() {
    if (Model.Running()) return;
    StopAnimation();
    StartRun(Model.BeginCalibration(true), {});
}

void TObrazek::UpDown1Changing(int newPosition) {
    Model.SetContrast(newPosition);
}

void TObrazek::RadioButton2Click() {
    Model.ChooseHand(torvi::HandColour::Dark);
    ShowFrame();
}

void TObrazek::RadioButton1Click() {
    Model.ChooseHand(torvi::HandColour::Light);
    ShowFrame();
}

// Frames ----------------------------------------------------------------------

bool TObrazek::LoadsPicture() const {
    // The masked view stays while the contrast step shows it.
    return !(Model.MaskingLive() && ShowmaskedBMP1->isChecked());
}

void TObrazek::ShowFrame() {
    Model.ShowFrame(LoadsPicture());
}

void TObrazek::BitBtn6Click() {
    Model.First(LoadsPicture());
}

void TObrazek::BitBtn1Click() {
    Model.Previous(LoadsPicture());
}

void TObrazek::BitBtn2Click() {
    Model.Next(LoadsPicture());
}

void TObrazek::BitBtn7Click() {
    Model.Last(LoadsPicture());
}

void TObrazek::GoToFrame(int index) {
    if (Model.Running()) return;
    StopAnimation();
    Model.GoTo(index, LoadsPicture());
}

namespace {

torvi::gui::SaveFileRequest PictureSaveRequest(const QString& title, const QString& name) {
    torvi::gui::SaveFileRequest request;
    request.Title = title;
    request.FileName = name;
    request.Filters = QStringLiteral("Bitmaps (*.bmp);;Tiff (*.tif *.tiff)");
    request.Captions = {QStringLiteral("Bitmaps (*.bmp)"), QStringLiteral("Tiff (*.tif, *.tiff)")};
    request.DefaultSuffix = QStringLiteral("bmp");
    request.ConfirmOverwrite = true;
    return request;
}

} // namespace

void TObrazek::SaveBMP2Click() {
    const auto name =
        Dialogs().SaveFile(this, PictureSaveRequest(QStringLiteral("Save captured BMP as"),
                                                    QStringLiteral("Captured")));
    if (!name) return;
    Guarded(this, [&] { torvi::SavePicture(name->toStdString(), Image1->Picture()); });
}

void TObrazek::StartRun(std::unique_ptr<torvi::MeasurementRun> run, std::function<void()> then) {
    Signals->StartRun(std::move(run), [this, then](bool ok) {
        // An animation that plays on keeps the navigation buttons off.
        if (!AnimationStopped) Model.SetAnimating(true);
        if (ok && then) then();
    });
}

void TObrazek::WhenCalibrated(std::function<void()> then) {
    if (Model.Calibrated()) {
        then();
        return;
    }
    StartRun(Model.BeginCalibration(false), then);
}

void TObrazek::SaveBMP1Click() {
    if (Model.Running()) return;
    WhenCalibrated([this] {
        const auto name =
            Dialogs().SaveFile(this, PictureSaveRequest(QStringLiteral("Save masked BMP as"),
                                                        QStringLiteral("Masked")));
        if (!name) return;
        Guarded(this, [&] { torvi::SavePicture(name->toStdString(), Model.ReferenceImage()); });
    });
}

void TObrazek::ShowmaskedBMP1Click() {
    // The menu item has already toggled its mark: it was checked before when
    // it is unchecked now.
    if (Model.Running()) {
        ShowmaskedBMP1->setChecked(!ShowmaskedBMP1->isChecked());
        return;
    }
    if (!ShowmaskedBMP1->isChecked()) {
        ShowFrame();
        return;
    }
    ShowmaskedBMP1->setChecked(true);
    WhenCalibrated([this] {
        if (!AnimationStopped && !Model.MaskingLive()) BitBtn5Click();
        Image1->SetPicture(Model.ReferenceImage());
        ShowmaskedBMP1->setChecked(true);
    });
}

// Closing, menus --------------------------------------------------------------

void TObrazek::FormCloseQuery() {
    StopAnimation();
}

void TObrazek::FormClose() {
    // A run in progress is cancelled and waited for; it leaves no result.
    Signals->EndRun();
    Model.CloseVideo();
}

void TObrazek::closeEvent(QCloseEvent* event) {
    FormCloseQuery();
    event->accept();
    FormClose();
    Maskovani->close();
    // The live window would otherwise keep the program running on its own.
    if (Live) Live->close();
}

void TObrazek::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && Signals->RunGoing()) {
        Signals->CancelRun();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void TObrazek::Konec1Click() {
    close();
}

void TObrazek::About3Click() {
    About->exec();
}

// Results, animation, capture ---------------------------------------------------

std::string TObrazek::DecimalSeparator() {
    // The engine's locale data, so that torvi-measure reads and writes the
    // same numbers where the C library or Qt lack the user's locale.
    return torvi::UserDecimalSeparator();
}

QIcon TObrazek::ButtonPicture(const QString& resource) {
    // Two 16 x 16 pictures side by side, normal and disabled; the colour of
    // the bottom-left pixel is transparent.
    const QImage both(resource);
    QIcon icon;
    if (both.isNull()) return icon;
    const QColor back = both.pixelColor(0, both.height() - 1);
    auto half = [&](int x) {
        QPixmap pixmap = QPixmap::fromImage(both.copy(x, 0, 16, 16));
        pixmap.setMask(pixmap.createMaskFromColor(back));
        return pixmap;
    };
    icon.addPixmap(half(0), QIcon::Normal);
    icon.addPixmap(half(16), QIcon::Disabled);
    return icon;
}

void TObrazek::BitBtn5Click() {
    if (BitBtn5->text() == QStringLiteral("Stop")) {
        StopAnimation();
        return;
    }
    if (Model.Running()) return;
    StatusPanel1->setText(QStringLiteral("Animation ..."));
    AnimationStopped = false;
    Model.SetAnimating(true);
    BitBtn5->setIcon(ButtonPicture(QStringLiteral(":/STOP.bmp")));
    BitBtn5->setText(QStringLiteral("Stop"));
    Pace = torvi::AnimationPace();
    AnimationPass();
}

void TObrazek::AnimationPass() {
    if (AnimationStopped) return;
    const torvi::AnimationPace::Pass pass =
        Pace.NextPass(torvi::ConvertNumberText(Edit3->text().toStdString(), DecimalSeparator()));
    // The Next action, although its button is disabled meanwhile. A frame
    // that cannot be shown ends the playback after its message.
    if (pass.Advance && !Model.Next(LoadsPicture())) {
        StopAnimation();
        return;
    }
    Animation->start(static_cast<int>(std::min<std::uint32_t>(pass.Wait, 1u << 30)));
}

void TObrazek::StopAnimation() {
    if (AnimationStopped) return;
    AnimationStopped = true;
    Animation->stop();
    BitBtn5->setText(QStringLiteral("Animation"));
    BitBtn5->setIcon(ButtonPicture(QStringLiteral(":/ANIMATE.bmp")));
    StatusPanel1->clear();
    Model.SetAnimating(false);
}

void TObrazek::ShowGraph() {
    Graf->SetScale(Edit3->text().toStdString(), Edit4->text().toStdString(), DecimalSeparator());
    try {
        Graf->FillChart();
    } catch (const torvi::Error&) {
        Dialogs().ShowError(this, QString::fromLatin1(torvi::ValuesNotValid),
                            torvi::gui::MessageIcon::None);
        return;
    }
    Graf->exec();
}

void TObrazek::WhenMeasured(std::function<void()> then) {
    if (Model.ResultsValid()) {
        then();
        return;
    }
    StartRun(Model.BeginMeasurement(), [this, then] {
        ReportWarnings();
        then();
    });
}

void TObrazek::ReportWarnings() {
    QStringList said;
    const QString flooded = torvi::gui::FloodText(Model.Result().Flooded);
    if (!flooded.isEmpty()) said << flooded;
    if (!Model.Settings().Fine) {
        const torvi::DialEllipse rim = torvi::AskewRim(Model.ReferenceImage(), Model.Settings());
        if (rim.Valid())
            said << QString::fromUtf8("The dial is seen askew (its rim %1 \u00d7 %2 pixels): whole "
                                      "degrees are the directions in the picture, off those on "
                                      "the dial by up to degrees. Masking \u2192 Fine angle "
                                      "measures on the dial's plane.")
                        .arg(std::lround(2 * rim.SemiAxisA))
                        .arg(std::lround(2 * rim.SemiAxisB));
    }
    if (!said.isEmpty())
        Dialogs().ShowError(this, said.join(QStringLiteral("\n\n")), torvi::gui::MessageIcon::None);
}

void TObrazek::BitBtn3Click() {
    if (Model.Running()) return;
    StopAnimation();
    if (!Model.Finish(true)) return;
    WhenMeasured([this] { ShowGraph(); });
}

void TObrazek::BitBtn4Click() {
    if (Model.Running()) return;
    if (!Model.Finish(false)) return;
    WhenMeasured([this] { SaveResultFile(); });
}

void TObrazek::SaveResultFile() {
    const std::string separator = DecimalSeparator();
    const auto name = torvi::gui::AskResultFile(this, Edit3, Edit4, separator);
    if (!name) return;
    const torvi::ResultFields fields{Edit5->text().toStdString(), Edit3->text().toStdString(),
                                     Edit4->text().toStdString()};
    Model.WriteResult(*name, fields, separator);
}

void TObrazek::UloitTXT1Click() {
    BitBtn4Click();
}

void TObrazek::Edit3Change() {
    torvi::gui::KeepNumberText(Edit3, DecimalSeparator());
}

void TObrazek::Edit4Change() {
    torvi::gui::KeepNumberText(Edit4, DecimalSeparator());
}

void TObrazek::RecordAVI1Click() {
    torvi::gui::TAviCapture dialog(this);
    dialog.exec();
}

void TObrazek::LiveMeasurement1Click() {
    if (!Live) Live = new LiveWindow(this);
    Live->FineAngle = FineAngle1->isChecked();
    Live->show();
    Live->raise();
    Live->activateWindow();
}
