#include "standin/qt/ChannelPanel.h"

#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace standin {

TChannelPanel::TChannelPanel(std::function<aprs::TChannelFigures()> figures, QWidget* parent)
    : QWidget(parent), FFigures(std::move(figures)), lblOccupancy(new QLabel(this)),
      lblFrames(new QLabel(this)), pbLoad(new QProgressBar(this)),
      tvTalkers(new QTableWidget(0, 3, this)), tmrRefresh(new QTimer(this)) {
    setObjectName("Channel");
    auto* layout = new QVBoxLayout(this);
    auto* title = new QLabel("<b>Channel</b> (last 30 minutes)", this);
    layout->addWidget(title);
    layout->addWidget(lblOccupancy);
    layout->addWidget(lblFrames);
    pbLoad->setRange(0, static_cast<int>(aprs::kSaturationPackets));
    pbLoad->setFormat("%v of %m packets");
    layout->addWidget(pbLoad);
    layout->addWidget(new QLabel("Top talkers", this));
    tvTalkers->setHorizontalHeaderLabels({"Station", "Measured", "Estimated"});
    tvTalkers->horizontalHeaderItem(1)->setToolTip("Frames heard in the last 30 minutes, "
                                                   "digipeated copies included");
    tvTalkers->horizontalHeaderItem(2)->setToolTip(
        "Packets per 30 minutes the ALOHA computation assigns this kind of station, "
        "before its copy multiplier");
    tvTalkers->verticalHeader()->hide();
    tvTalkers->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tvTalkers->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    layout->addWidget(tvTalkers, 1);
    Show({});
    if (FFigures) {
        tmrRefresh->setInterval(1000);
        connect(tmrRefresh, &QTimer::timeout, this, [this] { Show(FFigures()); });
        tmrRefresh->start();
    }
}

void TChannelPanel::Show(const aprs::TChannelFigures& figures) {
    lblOccupancy->setText(
        QString("Occupancy: %1 % (%2 s on the air, TX delay %3 ms)%4")
            .arg(figures.occupancyPercent, 0, 'f', 1)
            .arg(figures.airtimeSeconds, 0, 'f', 1)
            .arg(figures.txDelaySeconds * 1000.0, 0, 'f', 0)
            .arg(figures.overfull ? QString("; ") + aprs::kOverfullNote : QString()));
    lblFrames->setText(QString("Packets: %1 measured against %2 at saturation · %3 stations")
                           .arg(figures.frames)
                           .arg(aprs::kSaturationPackets)
                           .arg(figures.stations));
    pbLoad->setValue(static_cast<int>(std::min(figures.frames, aprs::kSaturationPackets)));
    tvTalkers->setRowCount(static_cast<int>(figures.talkers.size()));
    for (int row = 0; row < tvTalkers->rowCount(); ++row) {
        const aprs::TChannelTalker& talker = figures.talkers[static_cast<std::size_t>(row)];
        const QString estimated =
            talker.estimated < 0 ? QString("not listed") : QString::number(talker.estimated);
        const QString cells[] = {QString::fromStdString(talker.name),
                                 QString::number(talker.measured), estimated};
        for (int column = 0; column < 3; ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            if (column > 0)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            tvTalkers->setItem(row, column, item);
        }
    }
}

} // namespace standin
