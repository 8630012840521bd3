#pragma once

// Ends the run at once: no window's closing work runs, open windows simply
// vanish. Tests replace it to see that it was asked for.
class ProgramEnd {
public:
    virtual ~ProgramEnd() = default;
    virtual void endNow() = 0;
};

class QuitEventLoop final : public ProgramEnd {
public:
    void endNow() override;
};
