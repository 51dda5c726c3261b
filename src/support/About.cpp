#include "support/About.h"

#include "app/icons/ToolbarIcons.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFontInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>

#include <algorithm>
#include <cstring>

namespace zarvex {

namespace {

constexpr int ClientWidth = 352;
constexpr int ClientHeight = 243;
constexpr int ProductMaxWidth = 260;
constexpr int ProductMaxHeight = 35;
constexpr int LinkLeft = 130;

QFont PixelFont(int pixels, bool bold = false) {
    QFont f = QApplication::font();
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

QLabel* MakeLabel(QWidget* parent, const char* name, int left, int top, const QFont& font,
                  const QString& text = {}) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setFont(font);
    label->move(left, top);
    label->adjustSize();
    return label;
}

void MakeLink(QLabel* label) {
    QFont f = label->font();
    f.setUnderline(true);
    label->setFont(f);
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, Qt::blue);
    label->setPalette(p);
    label->setCursor(Qt::PointingHandCursor);
}

// The address as shown: without its scheme and final "/", and elided where the box ends, so a
// long address never runs past the edge; the full one is in the tooltip and is what opens.
void SetLinkText(QLabel* label, const QString& address) {
    QString shown = address;
    for (const char* scheme : {"https://", "http://", "mailto:"}) {
        if (shown.startsWith(scheme, Qt::CaseInsensitive)) {
            shown.remove(0, qsizetype(std::strlen(scheme)));
            break;
        }
    }
    if (shown.endsWith('/'))
        shown.chop(1);
    const int room = ClientWidth - label->x() - 8;
    label->setText(QFontMetrics(label->font()).elidedText(shown, Qt::ElideMiddle, room));
    label->setToolTip(address);
    label->adjustSize();
}

} // namespace

QUrl AddressUrl(const QString& address) {
    const QString a = address.trimmed();
    if (a.contains('@') && !a.contains(':'))
        return QUrl("mailto:" + a);
    return QUrl::fromUserInput(a);
}

TAboutForm::TAboutForm(QWidget* parent)
    : QDialog(parent), OpenUrl([](const QUrl& url) { QDesktopServices::openUrl(url); }) {
    setObjectName("AboutForm");
    setWindowTitle("About");
    setFixedSize(ClientWidth, ClientHeight);

    ProductImage = new QLabel(this);
    ProductImage->setObjectName("ProductImage");
    ProductImage->setGeometry(18, 16, 32, 32);

    QFont productFont = PixelFont(27, true);
    productFont.setUnderline(true);
    lblProduct = MakeLabel(this, "lblProduct", 70, 16, productFont);
    lblVersion = MakeLabel(this, "lblVersion", 70, 58, PixelFont(12, true));
    Label2 = MakeLabel(this, "Label2", 70, 117, PixelFont(12), "Contacts:");
    lblMail = MakeLabel(this, "lblMail", LinkLeft, 117, PixelFont(12));
    Label3 = MakeLabel(this, "Label3", 70, 142, PixelFont(12), "Website:");
    lblSite = MakeLabel(this, "lblSite", LinkLeft, 142, PixelFont(12));
    MakeLink(lblMail);
    MakeLink(lblSite);
    lblMail->installEventFilter(this);
    lblSite->installEventFilter(this);

    Bevel1 = new QFrame(this);
    Bevel1->setObjectName("Bevel1");
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Sunken);
    Bevel1->setGeometry(26, 167, 300, 2);

    lblNotice = new QLabel(this);
    lblNotice->setObjectName("lblNotice");
    lblNotice->setFont(PixelFont(11));
    lblNotice->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    lblNotice->setWordWrap(true);
    lblNotice->setContentsMargins(8, 0, 8, 0);
    lblNotice->setGeometry(0, 174, ClientWidth, 14);

    btnClose = new QPushButton("Close", this);
    btnClose->setObjectName("btnClose");
    btnClose->setGeometry(139, 206, 75, 25);
    btnClose->setDefault(true);
    // Escape rejects the dialog, so Close is the cancel button as well.
    connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);
}

void TAboutForm::Setup(const TProductInfo& info) {
    QIcon icon = QApplication::windowIcon();
    if (icon.isNull())
        icon = ProgramIcon();
    ProductImage->setPixmap(icon.pixmap(32, 32));

    lblProduct->setText(QString::fromStdString(info.ProductName));
    lblProduct->adjustSize();
    // One point at a time, as long as a point is left to give.
    QFont f = lblProduct->font();
    while ((lblProduct->width() > ProductMaxWidth || lblProduct->height() > ProductMaxHeight)) {
        const qreal points = QFontInfo(f).pointSizeF();
        if (points <= 1.5)
            break;
        f.setPointSizeF(points - 1);
        lblProduct->setFont(f);
        lblProduct->adjustSize();
    }

    lblVersion->setText("Version: " + QString::fromStdString(info.Version));
    lblVersion->adjustSize();

    FSiteAddress = QString::fromStdString(info.SiteAddress);
    FContactAddress = QString::fromStdString(info.ContactAddress);
    SetLinkText(lblSite, FSiteAddress);
    SetLinkText(lblMail, FContactAddress);
    Label2->setVisible(!FContactAddress.isEmpty());

    lblNotice->setText(QString::fromStdString(info.Notice));
    // A notice longer than the box wraps onto a second line instead of being cut at both ends.
    const int noticeHeight = std::max(14, lblNotice->heightForWidth(ClientWidth));
    lblNotice->setGeometry(0, 174, ClientWidth, std::min(noticeHeight, btnClose->y() - 174 - 2));
}

void TAboutForm::lblSiteClick() {
    if (OpenUrl)
        OpenUrl(AddressUrl(FSiteAddress));
}

void TAboutForm::lblMailClick() {
    if (OpenUrl)
        OpenUrl(AddressUrl(FContactAddress));
}

bool TAboutForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        auto* label = qobject_cast<QLabel*>(watched);
        if (mouse->button() == Qt::LeftButton && label &&
            label->rect().contains(mouse->position().toPoint())) {
            if (label == lblSite)
                lblSiteClick();
            else if (label == lblMail)
                lblMailClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void ShowAbout(const TProductInfo& info, QWidget* parent) {
    TAboutForm form(parent ? parent : QApplication::activeWindow());
    form.Setup(info);
    form.exec();
}

} // namespace zarvex
