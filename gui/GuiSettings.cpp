#include "gui/GuiSettings.h"

#include "gui/ShowImage.h"

namespace rastra {

void ApplySettings(const Settings& values, ShowImage* view) {
  Settings& settings = GetSettings();
  settings.BkColor = values.BkColor;
  settings.ViewOption = values.ViewOption;
  settings.PreserveTrans = values.PreserveTrans;
  settings.BigEndianMode = values.BigEndianMode;
  settings.UseARGB = values.UseARGB;
  settings.PngGamma = values.PngGamma;
  settings.SmoothChroma = values.SmoothChroma;
  SaveSettings();
  if (view != nullptr) view->SetViewOption(static_cast<int>(settings.ViewOption), settings.BkColor);
}

}  // namespace rastra
