#include "Windows.h"

#include "About_U.h"
#include "Graf_U.h"
#include "Jadro_U.h"
#include "Maskovani_U.h"
#include "Obrazek_U.h"

void CreateWindows() {
    Obrazek = new TObrazek;
    Maskovani = new TMaskovani(Obrazek);
    Graf = new TGraf(Obrazek);
    About = new TAbout(Obrazek);
    Obrazek->show();
}

void DestroyWindows() {
    Jadro_U::CloseVideo();
    delete Obrazek; // owns the other windows
    Obrazek = nullptr;
    Maskovani = nullptr;
    Graf = nullptr;
    About = nullptr;
    Jadro_U::ReferenceImage = torvi::Bitmap();
    Jadro_U::Calibrated = false;
}
