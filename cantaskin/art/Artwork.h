#pragma once

#include <QPainter>
#include <QSizeF>
#include <functional>
#include <map>

// The drawings of the skin, by picture number. A shaped picture is cut out by its outline (the
// window takes its shape); a rectangular one covers its whole area.
namespace art {

using Draw = std::function<void(QPainter&, const QSizeF&)>;

struct Piece {
    bool shaped = true;
    Draw draw;
};

using Pieces = std::map<int, Piece>;

// Each family of pictures adds its drawings.
void AddHall(Pieces& pieces);
void AddInstruments(Pieces& pieces);
void AddCharacters(Pieces& pieces);
void AddButtons(Pieces& pieces);
void AddPanels(Pieces& pieces);

} // namespace art
