#pragma once

#include <QString>

#include "support/LinkLabelLogic.h"
#include "support/qt/URLLabel.h"

namespace support {

/// A link label whose target is a donation address at the payment service,
/// rebuilt from Email, Company and Product on every mouse button release
/// (before the click is handled), so repeated clicks give the same address.
/// The texts are converted to Windows-1252 and escaped with UrlEscape.
class TPayPalLabel : public TUrlLabel {
    Q_OBJECT
    Q_PROPERTY(QString Company READ Company WRITE SetCompany)
    Q_PROPERTY(QString Product READ Product WRITE SetProduct)
    Q_PROPERTY(QString Email READ Email WRITE SetEmail)

public:
    explicit TPayPalLabel(QWidget* parent = nullptr);
    TPayPalLabel(const QString& caption, QWidget* parent);

    QString Company() const { return FCompany; }
    void SetCompany(const QString& company) { FCompany = company; }
    QString Product() const { return FProduct; }
    void SetProduct(const QString& product) { FProduct = product; }
    /// The payment account's e-mail address, the donation's recipient.
    QString Email() const { return FEmail; }
    void SetEmail(const QString& email) { FEmail = email; }

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QString FProduct;
    QString FCompany;
    QString FEmail;
};

} // namespace support
