#include "support/About.h"
#include "app/icons/ToolbarIcons.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>
#include <vector>

using namespace zarvex;

namespace {

void Click(QWidget* w) {
    const QPointF at(2, 2);
    QMouseEvent press(QEvent::MouseButtonPress, at, w->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, w->mapToGlobal(at), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
    QApplication::sendEvent(w, &release);
}

} // namespace

TEST(About, ShowsTheProductRecord) {
    TAboutForm form;
    form.Setup(ProductInfo);
    EXPECT_EQ(form.windowTitle(), "About");
    EXPECT_EQ(form.size(), QSize(352, 243));
    EXPECT_EQ(form.lblProduct->text(), "Zarvex");
    EXPECT_EQ(form.lblVersion->text(), "Version: 2.30");
    EXPECT_EQ(form.lblNotice->text(), QString::fromStdString(ProductInfo.Notice));
    EXPECT_FALSE(form.Label2->isHidden());
    EXPECT_EQ(form.Label2->text(), "Contacts:");
    EXPECT_EQ(form.Label3->text(), "Website:");
    EXPECT_FALSE(form.ProductImage->pixmap().isNull());
    EXPECT_TRUE(form.btnClose->isDefault());
    // Every text stays inside the box.
    for (QLabel* l : {form.lblProduct, form.lblVersion, form.Label2, form.lblMail, form.Label3,
                      form.lblSite, form.lblNotice})
        EXPECT_LE(l->geometry().right(), 351) << l->objectName().toStdString();
}

TEST(About, ProductNameShrinksUntilItFits) {
    TAboutForm shortName;
    shortName.Setup(ProductInfo);
    EXPECT_EQ(shortName.lblProduct->font().pixelSize(), 27);
    EXPECT_TRUE(shortName.lblProduct->font().bold());
    EXPECT_TRUE(shortName.lblProduct->font().underline());

    TProductInfo info = ProductInfo;
    info.ProductName = "Zarvex Professional Video Cutting Studio";
    TAboutForm longName;
    longName.Setup(info);
    QLabel* l = longName.lblProduct;
    EXPECT_EQ(l->text(), QString::fromStdString(info.ProductName));
    EXPECT_LE(l->width(), 260);
    EXPECT_LE(l->height(), 35);
    EXPECT_LT(QFontInfo(l->font()).pixelSize(), 27);
    EXPECT_TRUE(l->font().bold());
    EXPECT_TRUE(l->font().underline());
    // Shrunk no further than needed: one point larger would not fit.
    QFont larger = l->font();
    larger.setPointSizeF(QFontInfo(l->font()).pointSizeF() + 1);
    QLabel probe(l->text());
    probe.setFont(larger);
    probe.adjustSize();
    EXPECT_GT(probe.width(), 260);
}

TEST(About, EmptyContactAddressHidesItsCaption) {
    TProductInfo info = ProductInfo;
    info.ContactAddress.clear();
    TAboutForm form;
    form.Setup(info);
    EXPECT_TRUE(form.Label2->isHidden());
    EXPECT_FALSE(form.Label3->isHidden());
    EXPECT_FALSE(form.lblSite->isHidden());
}

TEST(About, LinksOpenTheirAddresses) {
    TProductInfo info = ProductInfo;
    info.ContactAddress = "team@zarvex.example";
    TAboutForm form;
    form.Setup(info);
    std::vector<QUrl> opened;
    form.OpenUrl = [&](const QUrl& url) { opened.push_back(url); };
    Click(form.lblSite);
    Click(form.lblMail);
    Click(form.lblVersion); // not a link
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0], QUrl(QString::fromStdString(ProductInfo.SiteAddress)));
    EXPECT_EQ(opened[1], QUrl("mailto:team@zarvex.example"));
    EXPECT_EQ(AddressUrl("mailto:a@b.example"), QUrl("mailto:a@b.example"));
    EXPECT_EQ(AddressUrl("https://x.example/contact"), QUrl("https://x.example/contact"));
}

TEST(About, ShowAboutIsModalAndCloseEndsIt) {
    QString product;
    bool wasModal = false;
    QTimer::singleShot(0, [&] {
        if (auto* form = qobject_cast<TAboutForm*>(QApplication::activeModalWidget())) {
            wasModal = true;
            product = form->lblProduct->text();
            form->btnClose->click();
        }
    });
    QTimer guard; // a box that does not close fails the test instead of hanging it
    QObject::connect(&guard, &QTimer::timeout, [] {
        if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            d->reject();
    });
    guard.start(3000);
    ShowAbout(ProductInfo);
    EXPECT_TRUE(wasModal);
    EXPECT_EQ(product, "Zarvex");
}

// The box and the main window draw from the same resources; a missing entry shows nothing.
TEST(AboutIcons, EveryImageAndTheProgramIconLoad) {
    InitIconResources();
    for (int i = 1; i <= ToolbarImageCount; ++i) {
        EXPECT_TRUE(QFile::exists(ToolbarIconPath(i))) << i;
        EXPECT_FALSE(ToolbarIcon(i).pixmap(24, 24).isNull()) << i;
        EXPECT_FALSE(ToolbarIcon(i, true).pixmap(24, 24).isNull()) << i;
    }
    EXPECT_EQ(ToolbarIconPath(tiPlay), ":/icons/play.svg");
    EXPECT_EQ(ToolbarIconPath(11), ":/icons/play.svg");
    EXPECT_EQ(ToolbarIconPath(12), ":/icons/pause.svg");
    EXPECT_TRUE(ToolbarIconPath(0).isEmpty());
    EXPECT_TRUE(ToolbarIconPath(ToolbarImageCount + 1).isEmpty());
    EXPECT_TRUE(ToolbarIcon(0).isNull());
    EXPECT_FALSE(ProgramIcon().pixmap(32, 32).isNull());
}
