#include "gui/DitherMenu.h"

#include <QActionGroup>
#include <QCoreApplication>

namespace rastra {

namespace {
struct MethodEntry {
  DitherMethod method;
  const char* label;
};
constexpr MethodEntry kMethods[] = {
    {DitherMethod::kFloydSteinberg, QT_TRANSLATE_NOOP("DitherMenu", "&Floyd-Steinberg")},
    {DitherMethod::kSerpentine, QT_TRANSLATE_NOOP("DitherMenu", "&Serpentine Floyd-Steinberg")},
    {DitherMethod::kBayer4, QT_TRANSLATE_NOOP("DitherMenu", "Ordered, Bayer &4 x 4")},
    {DitherMethod::kBayer8, QT_TRANSLATE_NOOP("DitherMenu", "Ordered, Bayer &8 x 8")},
};
}  // namespace

QList<QAction*> AddDitherMethodMenu(QMenu* menu, const std::function<void(DitherMethod)>& chosen) {
  menu->addSeparator();
  QMenu* methods = menu->addMenu(QCoreApplication::translate("DitherMenu", "&Method"));
  auto* group = new QActionGroup(methods);  // owned by the menu
  group->setExclusive(true);
  for (const MethodEntry& entry : kMethods) {
    QAction* action = methods->addAction(QCoreApplication::translate("DitherMenu", entry.label));
    action->setCheckable(true);
    action->setChecked(entry.method == DitherMethod::kFloydSteinberg);
    group->addAction(action);
    const DitherMethod method = entry.method;
    QObject::connect(action, &QAction::triggered, methods, [chosen, method] { chosen(method); });
  }
  return group->actions();
}

}  // namespace rastra
