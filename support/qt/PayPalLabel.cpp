#include "support/qt/PayPalLabel.h"

namespace support {

TPayPalLabel::TPayPalLabel(QWidget* parent) : TUrlLabel(parent) {}

TPayPalLabel::TPayPalLabel(const QString& caption, QWidget* parent) : TUrlLabel(caption, parent) {}

void TPayPalLabel::mouseReleaseEvent(QMouseEvent* event) {
    SetURL(QString::fromLatin1(
        DonationUrl(email_.toStdString(), company_.toStdString(), product_.toStdString())));
    TUrlLabel::mouseReleaseEvent(event);
}

} // namespace support
