#pragma once
// Icons the window layer draws itself rather than loads from files.
#include <QIcon>

#include <functional>
#include <initializer_list>

class QPainter;

namespace vst::ui {

// An icon with a picture for each of the sizes: `paint` draws on an antialiased painter over a
// transparent square of the given size in pixels.
QIcon paintedIcon(std::initializer_list<int> sizes, const std::function<void(QPainter&, int size)>& paint);

}  // namespace vst::ui
