#include "Obrazek_U.h"

#include "About_U.h"
#include "AviCapture_U.h"
#include "Error.h"
#include "FileTypes.h"
#include "Graf_U.h"
#include "Jadro_U.h"
#include "Maskovani_U.h"
#include "PictureView.h"
#include "UpDown.h"
#include "analysis/MeasurementSettings.h"
#include "results/AnimationPace.h"
#include "results/NumberText.h"
#include "results/ResultTable.h"

#include <QAction>
#include <QApplication>
#include <QBitmap>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QStatusBar>
#include <QStyle>
#include <QThread>
#include <QVBoxLayout>

#include <cmath>

using torvi::gui::Dialogs;
using torvi::gui::Guarded;

TObrazek* Obrazek = nullptr;

namespace {

const char* const ContrastPrompt =
    "Set contrast of picture to the best visibility of hand, together with less error disturbance.";

QPushButton* PictureButton(QWidget* parent, QStyle::StandardPixmap icon, const QString& tip) {
    auto* button = new QPushButton(parent);
    button->setIcon(parent->style()->standardIcon(icon));
    button->setToolTip(tip);
    button->setFixedHeight(25);
    return button;
}

} // namespace

TObrazek::TObrazek(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("Torvi"));
    BuildMenu();
    BuildControls();
    // FormCreate
    AnimationStopped = true;

    resize(581, 409 + menuBar()->sizeHint().height());
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

TObrazek::~TObrazek() = default;

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

    QMenu* masking = menuBar()->addMenu(QStringLiteral("&Masking"));
    ShowmaskedBMP1 = masking->addAction(QStringLiteral("Show &masked BMP"));
    ShowmaskedBMP1->setCheckable(true);
    ShowmaskedBMP1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    ShowmaskedBMP1->setEnabled(false);
    connect(ShowmaskedBMP1, &QAction::triggered, this, [this] { ShowmaskedBMP1Click(); });
    SaveBMP1 =
        masking->addAction(QStringLiteral("Save masked BMP..."), this, [this] { SaveBMP1Click(); });
    SaveBMP1->setEnabled(false);
    // Results of the other kind of angle no longer hold once it is toggled.
    FineAngle1 = masking->addAction(QStringLiteral("&Fine angle"));
    FineAngle1->setCheckable(true);
    connect(FineAngle1, &QAction::toggled, this, [] { Graf->ResultsValid = false; });

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

    auto* group = new QGroupBox(left);
    auto* rows = new QVBoxLayout(group);
    rows->setContentsMargins(6, 4, 4, 4);
    rows->setSpacing(2);
    auto row = [&](const QString& caption) {
        auto* line = new QHBoxLayout;
        line->setSpacing(4);
        line->addWidget(new QLabel(caption, group));
        rows->addLayout(line);
        return line;
    };
    Label4 = new QLabel(group);
    row(QStringLiteral("Centre:"))->addWidget(Label4, 1);
    Label5 = new QLabel(group);
    row(QStringLiteral("Radius of big hand:"))->addWidget(Label5, 1);
    Edit1 = new QLineEdit(QStringLiteral("60"), group);
    Edit1->setReadOnly(true);
    Edit1->setFixedWidth(36);
    Edit1->setEnabled(false);
    UpDown1 = new UpDown(group);
    UpDown1->SetRange(0, 255);
    UpDown1->SetPosition(60);
    UpDown1->setEnabled(false);
    UpDown1->Associate(Edit1);
    Label6 = new QLabel(group);
    QHBoxLayout* contrastRow = row(QStringLiteral("Contrast:"));
    contrastRow->setSpacing(0);
    contrastRow->addWidget(Edit1);
    contrastRow->addWidget(UpDown1);
    contrastRow->addWidget(Label6, 1);
    RadioButton2 = new QRadioButton(QStringLiteral("B"), group);
    RadioButton1 = new QRadioButton(QStringLiteral("W"), group);
    RadioButton2->setChecked(true);
    RadioButton1->setEnabled(false);
    RadioButton2->setEnabled(false);
    QHBoxLayout* maskingRow = row(QStringLiteral("Masking:"));
    maskingRow->addWidget(RadioButton2);
    maskingRow->addWidget(RadioButton1);
    maskingRow->addStretch();
    column->addWidget(group);

    auto* okRow = new QHBoxLayout;
    Button2 = new QPushButton(QStringLiteral("OK"), left);
    Button1 = new QPushButton(QStringLiteral("&Change"), left);
    Button2->setEnabled(false);
    Button1->setEnabled(false);
    okRow->addWidget(Button2);
    okRow->addWidget(Button1);
    column->addLayout(okRow);

    Panel2 = new QFrame(left);
    Panel2->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel2->setAutoFillBackground(true);
    QPalette tip = Panel2->palette();
    tip.setColor(QPalette::Window, tip.color(QPalette::ToolTipBase));
    Panel2->setPalette(tip);
    Panel2->setFixedHeight(78);
    auto* promptLayout = new QVBoxLayout(Panel2);
    promptLayout->setContentsMargins(3, 3, 3, 3);
    Label2 = new QLabel(Panel2);
    Label2->setWordWrap(true);
    Label2->setAlignment(Qt::AlignCenter);
    QFont bold = Label2->font();
    bold.setBold(true);
    Label2->setFont(bold);
    promptLayout->addWidget(Label2);
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
    ScrollBox1 = new QScrollArea(right);
    ScrollBox1->setWidgetResizable(false);
    ScrollBox1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image1 = new PictureView;
    ScrollBox1->setWidget(Image1);
    rightLayout->addWidget(ScrollBox1, 1);

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

void TObrazek::ProcessMessages() {
    QCoreApplication::processEvents();
}

void TObrazek::ReportErrorBox(const QString& text) {
    Dialogs().ShowError(this, text, torvi::gui::MessageIcon::Stop);
}

void TObrazek::SetClickHandler(bool installed) {
    clickHandlerInstalled_ = installed;
}

void TObrazek::SetPictureCursor(bool cross) {
    if (cross)
        Image1->setCursor(Qt::CrossCursor);
    else
        Image1->unsetCursor();
}

bool TObrazek::FrameIndexValid() const {
    return HasFrameList && CurrentIndex >= 0 &&
           CurrentIndex < static_cast<std::int32_t>(FrameList.size());
}

QString TObrazek::FrameFieldText(const std::string& reference) const {
    const auto cut = reference.find_last_of("\\:/");
    const std::string name = cut == std::string::npos ? reference : reference.substr(cut + 1);
    if (torvi::IsFilmExt(FileExt))
        return QString::fromStdString(OpenedFileName) + QStringLiteral(" (") +
               QString::fromStdString(name) + QLatin1Char(')');
    return QString::fromStdString(name);
}

// Open ------------------------------------------------------------------------

void TObrazek::ResetToNoMeasurement() {
    Jadro_U::Calibrated = false;
    SetClickHandler(false);
    SetPictureCursor(false);
    Label2->clear();
    MaskingLive = false;
    Maskovani->close();
    for (QWidget* w : std::initializer_list<QWidget*>{Button2, Edit1, Edit2, BitBtn6, BitBtn1,
                                                      BitBtn2, BitBtn7, BitBtn3, BitBtn4, BitBtn5})
        w->setEnabled(false);
    RadioButton1->setEnabled(true);
    RadioButton2->setEnabled(true);
    ShowmaskedBMP1->setEnabled(false);
    SaveBMP1->setEnabled(false);
    UloitTXT1->setEnabled(false);
    Graf->ResultsValid = false;
}

void TObrazek::OtevtGIF1Click() {
    if (Busy) return;
    ResetToNoMeasurement();

    const std::optional<QString> chosen = Dialogs().OpenPicture(this, OpenPictureDialog1);
    if (!chosen) return;
    const std::string path = chosen->toStdString();

    Jadro_U::CloseVideo();
    ProcessMessages();

    Edit2->clear();
    FrameList.clear();
    HasFrameList = true;
    const int filter =
        std::clamp(OpenPictureDialog1.FilterIndex, 1, static_cast<int>(torvi::OpenFilters.size()));
    FileExt = torvi::OpenFilters[static_cast<std::size_t>(filter - 1)].FileExt;
    OpenedFolder = torvi::FolderOf(path);

    // The measurement on view before is gone from here on: nothing is left
    // for "&Change" or the contrast arrows to resume if this Open fails.
    Button1->setEnabled(false);
    UpDown1->setEnabled(false);

    const QString ext = QString::fromStdString(FileExt);
    if (!torvi::IsFilmExt(FileExt)) {
        const torvi::NameCollator collator;
        FrameList = torvi::ListPictureSequence(OpenedFolder, FileExt, collator);
        if (FrameList.size() < 3) {
            ReportErrorBox(QStringLiteral("More than two files *") + ext +
                           QStringLiteral(" in directory are needed"));
            return;
        }
    } else {
        const int last = Jadro_U::OpenVideo(path);
        if (Closing) return; // the window closed while the film was indexed
        if (last < 1) {
            ReportErrorBox(QStringLiteral("Missing system video codec"));
            return;
        }
        if (last == 1) {
            ReportErrorBox(QStringLiteral("More than two pictures in *") + ext +
                           QStringLiteral(" file are needed"));
            return;
        }
        FrameList = torvi::FilmFrameList(last);
    }

    // The chosen picture is shown first, so the frame on view, the frame field
    // and the progress bar start at its place in the sequence.
    CurrentIndex = 0;
    OpenedFileName = torvi::BareName(path);
    if (!torvi::IsFilmExt(FileExt)) {
        const auto it = std::find(FrameList.begin(), FrameList.end(), OpenedFileName);
        if (it != FrameList.end()) CurrentIndex = static_cast<std::int32_t>(it - FrameList.begin());
    }
    StatusPanel0->setText(QStringLiteral("Count of opened pictures *") + ext +
                          QStringLiteral(": ") + QString::number(FrameList.size()));

    const bool shown = Guarded(this, [&] {
        torvi::Bitmap first;
        Jadro_U::LoadFrame(torvi::IsFilmExt(FileExt) ? FrameList[0] : path, first);
        Image1->SetPicture(first);
    });
    if (!shown) return;

    SaveBMP2->setEnabled(true);
    Edit2->setText(FrameFieldText(FrameList[static_cast<std::size_t>(CurrentIndex)]));
    for (QWidget* w : std::initializer_list<QWidget*>{BitBtn1, BitBtn2, BitBtn6, BitBtn7, Edit2})
        w->setEnabled(true);
    SetClickHandler(true);
    Button1Click();
    BitBtn5->setEnabled(true);
    Button1->setEnabled(false);
    RadioButton1->setEnabled(true);
    RadioButton2->setEnabled(true);
    ProgressBar->setRange(0, static_cast<int>(FrameList.size()) - 1);
    ProgressBar->setValue(CurrentIndex);
    ShowmaskedBMP1->setEnabled(true);
    ShowmaskedBMP1->setChecked(false);
    SaveBMP1->setEnabled(true);
}

// Marking ---------------------------------------------------------------------

void TObrazek::BeginMarking() {
    Button1->setEnabled(false);
    Button2->setEnabled(false);
    SetClickHandler(true);
    ClickStep = 0;
    Label2->setText(QStringLiteral("Set centre of dial."));
    SetPictureCursor(true);
}

void TObrazek::Image1MouseDown(Qt::MouseButton, int x, int y) {
    if (!clickHandlerInstalled_) return;
    if (ClickStep == 0) {
        SetPictureCursor(false);
        CentreX = x;
        CentreY = y;
        Label4->setText(QString::number(x) + QLatin1Char(':') + QString::number(y));
        ClickStep = 1;
        Label2->setText(QStringLiteral("Set radius of hand."));
        SetPictureCursor(true);
        return;
    }
    SetPictureCursor(false);
    HandRadius = static_cast<std::uint16_t>(torvi::RadiusOfClick(CentreX, CentreY, x, y));
    Label5->setText(QString::number(HandRadius));
    SetClickHandler(false);
    Label2->clear();
    Button1->setEnabled(true);
    Button2->setEnabled(true);
}

void TObrazek::Button1Click() {
    if (Busy) return;
    MaskingLive = false;
    Jadro_U::Calibrated = false;
    SetClickHandler(false);
    SetPictureCursor(false);
    Label2->clear();
    Maskovani->close();
    // Everything the marking step works with; the whole navigation row, so that
    // resuming after a cancelled Open gives the same controls as a new Open.
    for (QWidget* w : std::initializer_list<QWidget*>{Button1, BitBtn6, BitBtn1, BitBtn2, BitBtn7,
                                                      BitBtn5, RadioButton1, RadioButton2})
        w->setEnabled(true);
    ShowmaskedBMP1->setEnabled(true);
    SaveBMP1->setEnabled(true);
    for (QWidget* w :
         std::initializer_list<QWidget*>{Button2, Edit1, UpDown1, Edit2, BitBtn3, BitBtn4})
        w->setEnabled(false);
    UloitTXT1->setEnabled(false);
    Graf->ResultsValid = false;
    BeginMarking();
}

void TObrazek::Button2Click() {
    if (Busy) return;
    RadioButton1->setEnabled(false);
    RadioButton2->setEnabled(false);
    Edit2->setEnabled(false);
    if (!Jadro_U::Calibrate()) return;
    MaskingLive = true;
    Button2->setEnabled(false);
    Maskovani->show();
    Label2->setText(QString::fromLatin1(ContrastPrompt));
    Edit1->setText(QString::number(Maskovani->ContrastThreshold));
    if (FrameIndexValid())
        Edit2->setText(FrameFieldText(FrameList[static_cast<std::size_t>(CurrentIndex)]));
    for (QWidget* w : std::initializer_list<QWidget*>{UpDown1, Edit1, Edit2, BitBtn3, BitBtn4})
        w->setEnabled(true);
    UloitTXT1->setEnabled(true);
}

void TObrazek::UpDown1Changing(int newPosition) {
    if (Busy) return;
    Maskovani->ContrastThreshold = newPosition;
    Edit1->setText(QString::number(newPosition));
    if (FrameIndexValid())
        Guarded(this, [&] { Maskovani->Obraz(FrameList[static_cast<std::size_t>(CurrentIndex)]); });
}

void TObrazek::RadioButton2Click() {
    Jadro_U::Calibrated = false;
    Guarded(this, [&] { ShowFrame(); });
}

void TObrazek::RadioButton1Click() {
    Jadro_U::Calibrated = false;
    Guarded(this, [&] { ShowFrame(); });
}

// Frames ----------------------------------------------------------------------

void TObrazek::ShowFrame() {
    if (!FrameIndexValid()) return; // no usable frame list after a failed Open
    const std::string reference = FrameList[static_cast<std::size_t>(CurrentIndex)];
    Edit2->setText(FrameFieldText(reference));
    if (MaskingLive) Maskovani->Obraz(reference);
    if (!(MaskingLive && ShowmaskedBMP1->isChecked())) {
        torvi::Bitmap frame;
        Jadro_U::LoadFrame(reference, frame);
        Image1->SetPicture(frame);
        ShowmaskedBMP1->setChecked(false);
    }
    ProgressBar->setValue(CurrentIndex);
}

void TObrazek::BitBtn6Click() {
    if (!HasFrameList || FrameList.empty()) return;
    CurrentIndex = 0;
    Guarded(this, [&] { ShowFrame(); });
}

void TObrazek::BitBtn1Click() {
    if (!HasFrameList || FrameList.empty()) return;
    CurrentIndex = CurrentIndex - 1;
    if (CurrentIndex < 0) CurrentIndex = static_cast<std::int32_t>(FrameList.size()) - 1;
    Guarded(this, [&] { ShowFrame(); });
}

void TObrazek::BitBtn2Click() {
    if (!HasFrameList || FrameList.empty()) return;
    CurrentIndex = CurrentIndex + 1;
    if (CurrentIndex > static_cast<std::int32_t>(FrameList.size()) - 1) CurrentIndex = 0;
    Guarded(this, [&] { ShowFrame(); });
}

void TObrazek::BitBtn7Click() {
    if (!HasFrameList || FrameList.empty()) return;
    CurrentIndex = static_cast<std::int32_t>(FrameList.size()) - 1;
    Guarded(this, [&] { ShowFrame(); });
}

namespace {

torvi::gui::SaveFileRequest PictureSaveRequest(const QString& title, const QString& name) {
    torvi::gui::SaveFileRequest request;
    request.Title = title;
    request.FileName = name;
    request.Filters = QStringLiteral("Bitmaps (*.bmp);;Tiff (*.tif *.tiff)");
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
    Guarded(this, [&] { Jadro_U::SavePicture(name->toStdString(), Image1->Picture()); });
}

void TObrazek::SaveBMP1Click() {
    if (Busy) return;
    if (!Jadro_U::Calibrated && !Jadro_U::Calibrate()) return;
    const auto name = Dialogs().SaveFile(
        this, PictureSaveRequest(QStringLiteral("Save masked BMP as"), QStringLiteral("Masked")));
    if (!name) return;
    Guarded(this, [&] { Jadro_U::SavePicture(name->toStdString(), Jadro_U::ReferenceImage); });
}

void TObrazek::ShowmaskedBMP1Click() {
    // The menu item has already toggled its mark: it was checked before when
    // it is unchecked now.
    if (Busy) {
        ShowmaskedBMP1->setChecked(!ShowmaskedBMP1->isChecked());
        return;
    }
    if (!ShowmaskedBMP1->isChecked()) {
        Guarded(this, [&] { ShowFrame(); });
        return;
    }
    ShowmaskedBMP1->setChecked(true);
    if (!Jadro_U::Calibrated && !Jadro_U::Calibrate()) return;
    if (!AnimationStopped && !MaskingLive) BitBtn5Click();
    Image1->SetPicture(Jadro_U::ReferenceImage);
}

// Closing, menus --------------------------------------------------------------

void TObrazek::FormCloseQuery() {
    AnimationStopped = true;
    Closing = true;
}

void TObrazek::FormClose() {
    Jadro_U::CloseVideo();
}

void TObrazek::closeEvent(QCloseEvent* event) {
    FormCloseQuery();
    event->accept();
    FormClose();
    Maskovani->close();
}

void TObrazek::Konec1Click() {
    close();
}

void TObrazek::About3Click() {
    About->exec();
}

// Results, animation, capture ---------------------------------------------------

std::string TObrazek::DecimalSeparator() {
    return QLocale::system().decimalPoint().toStdString();
}

namespace {

QIcon ButtonPicture(const QString& resource) {
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

} // namespace

void TObrazek::BitBtn5Click() {
    if (BitBtn5->text() == QStringLiteral("Stop")) {
        AnimationStopped = true;
        BitBtn5->setIcon(ButtonPicture(QStringLiteral(":/ANIMATE.bmp")));
        for (QPushButton* b : {BitBtn1, BitBtn2, BitBtn6, BitBtn7})
            b->setEnabled(true);
        return;
    }
    if (Busy) return;
    StatusPanel1->setText(QStringLiteral("Animation ..."));
    ProcessMessages();
    AnimationStopped = false;
    for (QPushButton* b : {BitBtn1, BitBtn2, BitBtn6, BitBtn7})
        b->setEnabled(false);
    BitBtn5->setIcon(ButtonPicture(QStringLiteral(":/STOP.bmp")));
    BitBtn5->setText(QStringLiteral("Stop"));

    torvi::AnimationHooks hooks;
    hooks.Stopped = [this] { return AnimationStopped; };
    hooks.FieldRate = [this] {
        return torvi::ConvertNumberText(Edit3->text().toStdString(), DecimalSeparator());
    };
    hooks.Advance = [this] {
        // The Next action, although its button is disabled meanwhile. A frame
        // that cannot be shown ends the playback after its message.
        if (!HasFrameList || FrameList.empty()) return;
        CurrentIndex = CurrentIndex + 1;
        if (CurrentIndex > static_cast<std::int32_t>(FrameList.size()) - 1) CurrentIndex = 0;
        if (!Guarded(this, [&] { ShowFrame(); }) && !AnimationStopped) BitBtn5Click();
    };
    hooks.ProcessEvents = [] { ProcessMessages(); };
    hooks.Sleep = [](std::uint32_t ms) { QThread::msleep(ms); };
    hooks.CutWait = [this] { return Closing; };
    torvi::RunAnimation(hooks);

    BitBtn5->setText(QStringLiteral("Animation"));
    BitBtn5->setIcon(ButtonPicture(QStringLiteral(":/ANIMATE.bmp")));
    StatusPanel1->clear();
}

void TObrazek::EnterFinished(bool forGraph) {
    MaskingLive = false;
    Label2->clear();
    UpDown1->setEnabled(false);
    Button1->setEnabled(false);
    if (forGraph) {
        Edit1->setEnabled(false);
        Edit2->setEnabled(false);
    }
    ProcessMessages();
    Maskovani->close();
}

bool TObrazek::MeasureIfNeeded() {
    if (Graf->ResultsValid) return true;
    Busy = true;
    const bool ok = Guarded(this, [&] { Graf->MeasureRotation(); });
    Busy = false;
    return ok;
}

void TObrazek::BitBtn3Click() {
    if (Busy) return;
    EnterFinished(true);
    if (!AnimationStopped) BitBtn5Click();
    ProcessMessages();
    if (!MeasureIfNeeded()) return;
    ProcessMessages();
    try {
        Graf->FillChart();
    } catch (const torvi::Error&) {
        Dialogs().ShowError(this, QString::fromLatin1(torvi::ValuesNotValid),
                            torvi::gui::MessageIcon::None);
        return;
    }
    Graf->exec();
}

void TObrazek::BitBtn4Click() {
    if (Busy) return;
    EnterFinished(false);
    ProcessMessages();
    if (!MeasureIfNeeded()) return;
    ProcessMessages();
    if (Edit3->text().isEmpty())
        Edit3->setText(QString::fromStdString(torvi::DefaultedFieldText("")));
    if (Edit4->text().isEmpty())
        Edit4->setText(QString::fromStdString(torvi::DefaultedFieldText("")));
    const std::string separator = DecimalSeparator();
    try {
        torvi::CheckResultScale(Edit3->text().toStdString(), Edit4->text().toStdString(),
                                separator);
    } catch (const torvi::Error& e) {
        Dialogs().ShowError(this, QString::fromUtf8(e.what()), torvi::gui::MessageIcon::None);
        return;
    }
    torvi::gui::SaveFileRequest request;
    request.Title = QStringLiteral("Save result as");
    request.FileName = QStringLiteral("result.txt");
    request.Filters = QStringLiteral("soubor TXT (*.txt)");
    request.DefaultSuffix = QStringLiteral("txt");
    request.ConfirmOverwrite = true;
    const auto name = Dialogs().SaveFile(this, request);
    if (!name) return;
    Guarded(this, [&] {
        const torvi::ResultFields fields{Edit5->text().toStdString(), Edit3->text().toStdString(),
                                         Edit4->text().toStdString()};
        const std::string path = torvi::CompleteResultFileName(name->toStdString());
        if (Graf->MeasuredFine)
            torvi::WriteFineResultFile(path, fields, Graf->FineUnwrappedSeries, separator);
        else
            torvi::WriteResultFile(path, fields, Graf->UnwrappedSeries, separator);
    });
}

void TObrazek::UloitTXT1Click() {
    BitBtn4Click();
}

void TObrazek::FilterNumberText(QLineEdit* field) {
    const auto edit = torvi::FilterNumberText(field->text().toStdU16String(),
                                              QLocale::system().decimalPoint().toStdU16String());
    if (!edit) return;
    // One pass gives the text that filtering each new text again would end
    // at, with the caret where the first removed character stood.
    const QSignalBlocker block(field);
    field->setText(QString::fromStdU16String(edit->Text));
    field->setCursorPosition(static_cast<int>(edit->Caret));
}

void TObrazek::Edit3Change() {
    FilterNumberText(Edit3);
}

void TObrazek::Edit4Change() {
    FilterNumberText(Edit4);
}

void TObrazek::RecordAVI1Click() {
    torvi::gui::TAviCapture dialog(this);
    dialog.exec();
}
