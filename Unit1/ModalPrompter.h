// The prompter of the running program: dialogs and boxes shown to a person, modally.
#pragma once

#include "Unit1/Prompter.h"

class ModalPrompter : public Prompter {
  public:
    std::optional<QString> RunFileDialog(QFileDialog& dialog) override;
    void RunMessageBox(QMessageBox& box) override;
};
