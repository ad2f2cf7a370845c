# Sourced: sets qt to the Qt for MinGW to build against, or leaves it empty when there is none.
# ZEM_QT_MINGW names it; else the first shared/qt6-mingw beside the project or above it.
qt="${ZEM_QT_MINGW:-}"
if [ -z "$qt" ]; then
  dir="$root"
  while [ "$dir" != / ]; do
    dir=$(dirname "$dir")
    if [ -f "$dir/shared/qt6-mingw/lib/cmake/Qt6/Qt6Config.cmake" ]; then
      qt="$dir/shared/qt6-mingw"
      break
    fi
  done
fi
