#pragma once
// Which picture a two-state button shows: 13 classes of (dark, lit) pictures chosen by control id.

#include <QPixmap>
#include <map>

namespace voltina {

constexpr int kBitmapClasses = 13;
constexpr int kNoPicture = 0;

// Rows 0..5: type buttons and jacks; 6..10: the operator signs (never lit); 11: H.P; 12: record.
constexpr int kBitmapTable[kBitmapClasses][2] = {
    {1003, 3003},       {1004, 3004},       {1005, 3005},       {1006, 3006},       {1007, 3007},
    {1008, 3008},       {1010, kNoPicture}, {1011, kNoPicture}, {1012, kNoPicture}, {1013, kNoPicture},
    {1014, kNoPicture}, {1015, 3015},       {1016, 3016},
};

int bitmapClassForId(int ctrlId);
// The oscillator outputs' cords leave sideways (ids 401..408 and 421..428).
bool isSidewaysOutputJack(int ctrlId);
// The picture for a control in a state; kNoPicture where the table has none (a lit sign).
int bitmapIdFor(int ctrlId, int state);

// The pictures the panel loads once and releases when it goes: the table's, both knob faces and the
// sideways plug.
class PanelBitmaps {
  public:
    void load(qreal devicePixelRatio);
    void release();
    bool loaded() const { return !pixmaps_.empty(); }
    // A null pixmap for kNoPicture or a picture that is not loaded.
    const QPixmap& get(int resourceId) const;
    int count() const { return static_cast<int>(pixmaps_.size()); }

  private:
    std::map<int, QPixmap> pixmaps_;
    QPixmap none_;
};

}  // namespace voltina
