#pragma once
#include <QString>
#include <QStringList>

#include <vector>

#include "module/ImageCodec.h"

// The image-backed pages, in the order the window loads them.
enum class TImagePage { Common, Inputs, Outputs, Mobiles, Alarm };

// One of the module's settings as a page shows it: where its bytes are, how they are encoded,
// which control shows it and how the page names it. The pages bind their controls from this
// table, and whatever must name a setting to the operator finds its words here.
struct TImageField {
    TImagePage Page;
    const char* Control;   // objectName of the control on the page's form (for a cell, its grid)
    int Address;           // first byte in the settings
    TEncoding Encoding;
    const char* Section;   // the section header or row the control stands in; "" for none
    const char* Caption;   // the control's own caption (a check box's text); "" for none
    int FirstCode = 0;     // lists: the code stored for the list's first item
    QStringList Items = {};  // lists: the items the list offers, the one of FirstCode first

    int Width() const { return EncodingWidth(Encoding); }
};

// Every field of every image-backed page; a page's fields in the order it loads and stores them.
const std::vector<TImageField>& ImageFields();

// The fields of one page, in its order.
std::vector<const TImageField*> PageFields(TImagePage page);

// The page's tab caption.
QString PageCaption(TImagePage page);

// The field on its page: "section / caption" in the page's own words.
QString FieldCaption(const TImageField& field);
// How the operator knows the field: "page / section / caption".
QString FieldTitle(const TImageField& field);

// The field's value in `image` as its page shows it: a list's item ("код 9" for a code the list
// has no item for), "да" or "нет" for a check box, an edit's or a cell's text.
QString ImageFieldText(const TImageField& field, const uint8_t* image);
