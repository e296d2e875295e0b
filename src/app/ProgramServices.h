#pragma once

#include <memory>

#include "app/Services.h"

// The real platform services of the program, created once by the program
// block and handed to the main window.
class TProgramServices {
public:
    TProgramServices();
    ~TProgramServices();

    const TMainServices& Main() const { return main_; }

private:
    struct TImpl;
    std::unique_ptr<TImpl> impl_;
    TMainServices main_;
};
