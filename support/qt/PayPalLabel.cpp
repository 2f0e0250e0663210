#include "support/qt/PayPalLabel.h"

namespace support {

TPayPalLabel::TPayPalLabel(QWidget* parent) : TUrlLabel(parent) {}

TPayPalLabel::TPayPalLabel(const QString& caption, QWidget* parent) : TUrlLabel(caption, parent) {}

void TPayPalLabel::mouseReleaseEvent(QMouseEvent* event) {
    SetURL(QString::fromLatin1(
        DonationUrl(FEmail.toStdString(), FCompany.toStdString(), FProduct.toStdString())));
    TUrlLabel::mouseReleaseEvent(event);
}

} // namespace support
