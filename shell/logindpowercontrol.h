#pragma once

#include "batchhost.h"

// Powers the machine off through systemd-logind on the system bus.
class LogindPowerControl : public PowerControl
{
public:
    bool canPowerOff() override;
    bool powerOff() override;
};
