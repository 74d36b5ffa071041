#include "Quoting.h"

quoting::Style quoting::systemStyle()
{
    return Style::Windows;
}
