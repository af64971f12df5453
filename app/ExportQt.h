// The Export command of the main window: a save dialog (its filter and folder kept between
// showings, the file name empty each time), then the texture at the selected size written with
// its maps when the settings ask for them. Nothing is replaced without a question: the dialog
// asks about the texture's file, or, when maps are written too or the name got the filter's
// extension, one question names every file that would be replaced.
#pragma once

#include <QString>
#include <QStringList>

#include "export/MaterialMaps.h"

namespace vorn {

class TFOrlu;

class TExportQt {
public:
    explicit TExportQt(TFOrlu& window);

    // Shows the save dialog and exports; failures are said in one message.
    void Run();

    // Of the files an export to fileName writes (the texture's, then the maps'), those that
    // exist, leaving out the texture's when the dialog asked about it already.
    static QStringList ExistingFiles(const QString& fileName, const TMapOptions& maps, bool textureAsked);

private:
    // True when nothing would be replaced or the user agreed to replace it.
    bool MayReplace(const QString& fileName, const TMapOptions& maps, bool textureAsked);

    TFOrlu& m_window;
    QString m_filter;    // the save dialog's filter, kept between showings
    QString m_directory; // and its folder
};

} // namespace vorn
