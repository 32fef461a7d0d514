// Applies a read layout to a form under construction: creates its controls and sets the
// properties of the form and of each control. (Windows backend.)
#pragma once

#include "form.hpp"
#include "layout_text.hpp"

class LayoutLoader {
  public:
    explicit LayoutLoader(TForm& form) : form_(form) {}
    void Load(const LayoutObject& root);

  private:
    TForm& form_;
};
