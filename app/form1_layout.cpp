// The window's fixed layout. Positions and sizes are design values in twips
// (1/1440 inch); at 96 dots per inch 15 twips make one pixel.
#include "form1.h"
#include "texts.h"

#include <QFont>
#include <QIcon>
#include <QPainter>

namespace app {
namespace {

constexpr int Px(int twips) { return twips / 15; }

QRect TwipsRect(int left, int top, int width, int height) { return QRect(Px(left), Px(top), Px(width), Px(height)); }

constexpr passes::OleColor kBlack = passes::MakeOleColor(0, 0, 0);
constexpr passes::OleColor kLightBlue = passes::MakeOleColor(128, 128, 255);

QLabel* MakeLabel(QWidget* parent, const QString& text, QRect geometry, Qt::Alignment alignment = {})
{
    auto* label = new QLabel(text, parent);
    label->setGeometry(geometry);
    if (alignment) label->setAlignment(alignment);
    return label;
}

WrappingButton* MakeButton(QWidget* parent, const QString& caption, QRect geometry)
{
    auto* button = new WrappingButton(caption, parent);
    button->setGeometry(geometry);
    button->setAutoDefault(false);
    return button;
}

DigitField* MakeField(QWidget* parent, const QString& text, QRect geometry)
{
    auto* field = new DigitField(text, parent);
    field->setGeometry(geometry);
    // The small inner margin of text fields, so the digits do not touch the frame.
    field->setTextMargins(2, 1, 2, 0);
    return field;
}

// A label whose background shows a color, with its text kept readable on it.
void Swatch(QLabel* label)
{
    label->setAutoFillBackground(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, Qt::black);
    palette.setColor(QPalette::WindowText, Qt::white);
    label->setPalette(palette);
}

QIcon WindowIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 80, 96})
        icon.addFile(QStringLiteral(":/icons/chromobrisk-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace

const QRect Form1::Shape1 = TwipsRect(5760, 6000, 3255, 1455);
const QRect Form1::Shape2 = TwipsRect(2280, 6000, 3135, 1455);

Form1::Form1(Form1Options options) : QWidget(nullptr), options_(std::move(options)), model_(*this, options_)
{
    setWindowTitle(texts::kCaption);
    setWindowIcon(WindowIcon());
    // Fixed border: system menu, minimize and close, no maximize.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
        | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(Px(11175), Px(8205));

    QFont font;
    // A CJK face with compact line spacing, so the instructions fit their box.
    font.setFamilies({QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
        QStringLiteral("Droid Sans Fallback"), QStringLiteral("Sans Serif")});
    font.setPixelSize(12);
    setFont(font);

    BuildControls();
    ConnectHandlers();
}

Form1::~Form1() = default;

void Form1::BuildControls()
{
    Label2 = MakeLabel(this, texts::kSourceHeading, TwipsRect(1560, 240, 2055, 255), Qt::AlignHCenter | Qt::AlignTop);
    Label3 = MakeLabel(this, texts::kResultHeading, TwipsRect(7200, 240, 2175, 255), Qt::AlignHCenter | Qt::AlignTop);

    Pic1 = new PictureBox(kBlack, this);
    Pic1->place(Px(120), Px(480), Px(5295), Px(5295));
    Pic1->setAcceptDrops(true);
    Pic2 = new PictureBox(kLightBlue, this);
    Pic2->place(Px(5760), Px(480), Px(5295), Px(5295));

    Label7 = MakeLabel(this, texts::kInstructions, TwipsRect(120, 6000, 2055, 1455), Qt::AlignLeft | Qt::AlignTop);
    Label7->setWordWrap(true);
    // One pixel smaller than the rest, so all of the instructions fit the box.
    QFont instructions = font();
    instructions.setPixelSize(11);
    Label7->setFont(instructions);

    Label1 = MakeLabel(this, texts::kKeyColorLabel, TwipsRect(2400, 6120, 975, 255));
    LBCol = MakeLabel(this, QString(), TwipsRect(3240, 6075, 2055, 255), Qt::AlignCenter);
    Swatch(LBCol);
    Label6 = MakeLabel(this, texts::kToleranceLabel, TwipsRect(3120, 6600, 615, 255));
    TxtCF = MakeField(this, QString::number(passes::kTolerance.initial), TwipsRect(3840, 6555, 615, 270));
    HScroll1 = new HorizontalScrollBar(this);
    HScroll1->setGeometry(TwipsRect(2400, 6960, 2895, 255));
    HScroll1->setRange(passes::kTolerance.minimum, passes::kTolerance.maximum);
    HScroll1->setValue(passes::kTolerance.initial);
    HScroll1->setSingleStep(1);
    HScroll1->setPageStep(1);
    HScroll1->setTracking(false); // reports at the end of a thumb drag, not during it

    Label4 = MakeLabel(this, texts::kReplacementLabel, TwipsRect(5880, 6120, 1095, 255));
    LbChange = MakeLabel(this, QString(), TwipsRect(6720, 6075, 2055, 255));
    Swatch(LbChange);
    const char* const channelNames[4] = {"A", "R", "G", "B"};
    const QString initial[4] = {QStringLiteral("255"), QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0")};
    for (int i = 0; i < 4; ++i) {
        const int fieldLeft = 6240 + 720 * i;
        TxtCol[static_cast<std::size_t>(i)] = MakeField(this, initial[i], TwipsRect(fieldLeft, 6480, 495, 270));
        Label5[static_cast<std::size_t>(i)] =
            MakeLabel(this, QString::fromLatin1(channelNames[i]), TwipsRect(fieldLeft - 120, 6525, 135, 255));
    }

    CmdPickP = MakeButton(this, texts::kPickFromImage, TwipsRect(6000, 6840, 1335, 495));
    CmdPick = MakeButton(this, texts::kPickFromPalette, TwipsRect(7560, 6840, 1335, 495));
    CMDSAVE = MakeButton(this, texts::kSave, TwipsRect(9360, 6240, 1455, 855));
    CMDTransP = MakeButton(this, texts::kSimpleRemoval, TwipsRect(1920, 7560, 2055, 495));
    CMDARec = MakeButton(this, texts::kAlphaRestoringRemoval, TwipsRect(4560, 7560, 2055, 495));
    CMDChange = MakeButton(this, texts::kColorReplacement, TwipsRect(7200, 7560, 2055, 495));

    Label8 = MakeLabel(this, texts::kCredit, TwipsRect(9480, 7920, 1695, 255), Qt::AlignCenter);
    QFont credit;
    // SimSun where installed; otherwise another CJK serif of the same style.
    credit.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体"), QStringLiteral("Noto Serif CJK SC"),
        QStringLiteral("AR PL UMing CN"), QStringLiteral("Serif")});
    credit.setPointSize(12);
    credit.setBold(true);
    Label8->setFont(credit);

    // Tab order: Pic1, Pic2, TxtCol 0, CMDChange, CMDSAVE, TxtCol 1 to 3,
    // CmdPick, CmdPickP, HScroll1, TxtCF, CMDARec, CMDTransP, then Pic1 again.
    const QWidget* const order[] = {Pic1, Pic2, TxtCol[0], CMDChange, CMDSAVE, TxtCol[1], TxtCol[2], TxtCol[3], CmdPick,
        CmdPickP, HScroll1, TxtCF, CMDARec, CMDTransP};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(const_cast<QWidget*>(order[i]), const_cast<QWidget*>(order[i + 1]));
}

void Form1::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(QPen(palette().color(QPalette::WindowText), 1));
    painter.setBrush(Qt::NoBrush);
    for (const QRect& shape : {Shape1, Shape2}) painter.drawRect(shape.adjusted(0, 0, -1, -1));
}

} // namespace app
