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

    QString Company() const { return company_; }
    void SetCompany(const QString& company) { company_ = company; }
    QString Product() const { return product_; }
    void SetProduct(const QString& product) { product_ = product; }
    /// The payment account's e-mail address, the donation's recipient.
    QString Email() const { return email_; }
    void SetEmail(const QString& email) { email_ = email; }

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QString product_;
    QString company_;
    QString email_;
};

} // namespace support
