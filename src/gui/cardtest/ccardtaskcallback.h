// SPDX-License-Identifier: MIT
#pragma once

// What a card test task calls back into to run its test. Never deleted through this interface,
// hence the protected, non-virtual destructor.
class CCardTaskCallback
{
public:
    virtual void onRunType(int type) { (void)type; }

protected:
    ~CCardTaskCallback() = default;
};
