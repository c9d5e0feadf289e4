// The network link between a shooter PC ("Node") and an instructor PC
// ("Monitor"). Not built yet: it does not offer the screens a link, so they
// see the inactive one (NetworkLink.h).
#pragma once

#include <QWidget>

class TFormNetworkControl : public QWidget {
    Q_OBJECT
public:
    explicit TFormNetworkControl(QWidget* parent = nullptr);
    ~TFormNetworkControl() override;
};
