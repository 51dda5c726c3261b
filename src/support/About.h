// The about box: product name, icon and version from the product record, the maker's addresses
// as links, and the notice line.
#pragma once

#include "support/ProdInfo.h"

#include <QDialog>
#include <QString>
#include <QUrl>

#include <functional>

class QFrame;
class QLabel;
class QPushButton;

namespace zarvex {

class TAboutForm : public QDialog {
    Q_OBJECT
public:
    explicit TAboutForm(QWidget* parent = nullptr);

    // Fills the box from info; the product name's font shrinks until it fits 260 x 35 pixels.
    void Setup(const TProductInfo& info);

    // Opens a clicked address; the desktop's handler unless replaced.
    std::function<void(const QUrl& url)> OpenUrl;

    QLabel* ProductImage;
    QLabel* lblProduct;
    QLabel* lblVersion;
    QLabel* Label2;
    QLabel* lblMail;
    QLabel* Label3;
    QLabel* lblSite;
    QFrame* Bevel1;
    QLabel* lblNotice;
    QPushButton* btnClose;

    void lblSiteClick();
    void lblMailClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QString FSiteAddress;
    QString FContactAddress;
};

// "https://x/", "mailto:a@b" and a bare "a@b" as the address to open.
QUrl AddressUrl(const QString& address);

// Shows the box modally over parent (the active window when null) and frees it.
void ShowAbout(const TProductInfo& info, QWidget* parent = nullptr);

} // namespace zarvex
