// The sixteen generated show pictures, 640 x 240 each.
#pragma once

#include "storage/PictureTable.h"
#include "tools/make-assets/Canvas.h"

#include <string>
#include <vector>

struct NamedPicture {
    std::string name; // the path inside the pack, e.g. "data/dovari1.jpg"
    Canvas (*draw)();
};

// In the show's image-table order (imagePaths): dovari1-8, rozerid1-3, rozerid8-12.
const std::vector<NamedPicture>& showPictures();

// The dovari set: landscapes, plasma, patterns, lettering.
Canvas drawMountainDawn();
Canvas drawPlasma();
Canvas drawNeonGrid();
Canvas drawLettering();
Canvas drawTunnel();
Canvas drawNightCity();
Canvas drawStainedGlass();
Canvas drawDunes();

// The rozerid set: the dark figure on green, and the pictures it turns into.
Canvas drawFigure();
Canvas drawFire();
Canvas drawOcean();
Canvas drawMarble();
Canvas drawMandala();
Canvas drawNebula();
Canvas drawCircuit();
Canvas drawAurora();
