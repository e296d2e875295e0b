<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>FreeFormats</name>
    <message>
        <source>All supported formats</source>
        <translation>Alle unterstützten Formate</translation>
    </message>
</context>
<context>
    <name>Playlist</name>
    <message>
        <source>Cannot open file &quot;%1&quot;. %2</source>
        <translation>Die Datei „%1“ kann nicht geöffnet werden. %2</translation>
    </message>
    <message>
        <source>Cannot create file &quot;%1&quot;. %2</source>
        <translation>Die Datei „%1“ kann nicht angelegt werden. %2</translation>
    </message>
    <message>
        <source>The entry &quot;%1...&quot; holds a line break and cannot be stored in a playlist</source>
        <translation>Der Eintrag „%1...“ enthält einen Zeilenumbruch und kann nicht in einer Wiedergabeliste gespeichert werden</translation>
    </message>
    <message>
        <source>Cannot show picture &quot;%1&quot;. %2</source>
        <translation>Das Bild „%1“ kann nicht angezeigt werden. %2</translation>
    </message>
    <message>
        <source>Not enough memory to preview the picture</source>
        <translation>Nicht genug Speicher für die Vorschau des Bildes</translation>
    </message>
    <message>
        <source>Unknown picture file extension (.%1)</source>
        <translation>Unbekannte Endung einer Bilddatei (.%1)</translation>
    </message>
    <message>
        <source>The file is damaged or its picture format cannot be decoded here</source>
        <translation>Die Datei ist beschädigt, oder ihr Bildformat kann hier nicht gelesen werden</translation>
    </message>
</context>
<context>
    <name>TAboutBox</name>
    <message>
        <source>About Vantoria...</source>
        <translation>Über Vantoria...</translation>
    </message>
    <message>
        <source>Version 2.0.0</source>
        <translation>Version 2.0.0</translation>
    </message>
    <message>
        <source>Copyright © 2003-2026 The Vantoria developers</source>
        <translation>Copyright © 2003-2026 Die Vantoria-Entwickler</translation>
    </message>
    <message>
        <source>Vantoria home page</source>
        <translation>Vantoria-Homepage</translation>
    </message>
    <message>
        <source>This program is free software: you may
use it and redistribute it free of charge.
It comes with ABSOLUTELY NO WARRANTY,
to the extent permitted by law.</source>
        <translation>Dieses Programm ist freie Software: Sie dürfen
es kostenlos nutzen und weitergeben.
Es kommt OHNE JEDE GEWÄHRLEISTUNG,
soweit das Gesetz es zulässt.</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>TColorPicker</name>
    <message>
        <source>Custom color</source>
        <translation>Eigene Farbe</translation>
    </message>
    <message>
        <source>Automatic</source>
        <translation>Automatisch</translation>
    </message>
</context>
<context>
    <name>TCoolTrayIcon</name>
    <message>
        <source>Vantoria menu</source>
        <translation>Vantoria-Menü</translation>
    </message>
</context>
<context>
    <name>TDesktopWallpaperApplier</name>
    <message>
        <source>The desktop wallpaper cannot be changed now: %1</source>
        <translation>Das Hintergrundbild kann jetzt nicht geändert werden: %1</translation>
    </message>
    <message>
        <source>The desktop wallpaper cannot be changed here: %1</source>
        <translation>Das Hintergrundbild kann hier nicht geändert werden: %1</translation>
    </message>
    <message>
        <source>the record of the original wallpaper cannot be written to %1</source>
        <translation>die Aufzeichnung des ursprünglichen Hintergrundbilds kann nicht nach %1 geschrieben werden</translation>
    </message>
    <message>
        <source>the wallpaper in use cannot be recorded to be put back later (%1)</source>
        <translation>das aktuelle Hintergrundbild kann nicht aufgezeichnet werden, um es später zurückzubringen (%1)</translation>
    </message>
    <message>
        <source>this desktop takes no file</source>
        <translation>dieser Desktop nimmt keine Datei an</translation>
    </message>
</context>
<context>
    <name>THyperLinkLabel</name>
    <message>
        <source>Could not open &quot;%1&quot; in a web browser</source>
        <translation>„%1“ konnte nicht in einem Webbrowser geöffnet werden</translation>
    </message>
</context>
<context>
    <name>TPlaylistModel</name>
    <message>
        <source> (1 picture)</source>
        <translation> (1 Bild)</translation>
    </message>
    <message>
        <source> (%1 pictures)</source>
        <translation> (%1 Bilder)</translation>
    </message>
</context>
<context>
    <name>TProgramDialogs</name>
    <message>
        <source>Vantoria cannot change its start at log-in: %1</source>
        <translation>Vantoria kann den Start bei der Anmeldung nicht ändern: %1</translation>
    </message>
</context>
<context>
    <name>TProgramServices</name>
    <message>
        <source>The picture cannot be shown: %1</source>
        <translation>Das Bild kann nicht angezeigt werden: %1</translation>
    </message>
</context>
<context>
    <name>TQtEditorDialogs</name>
    <message>
        <source>Add Folder</source>
        <translation>Ordner einfügen</translation>
    </message>
    <message>
        <source>Follow &quot;%1&quot;?

A followed folder is one entry that stands for the pictures in it, kept current while Vantoria runs. Or its pictures can be added now, once.</source>
        <translation>„%1“ folgen?

Ein verfolgter Ordner ist ein Eintrag, der für die Bilder darin steht und aktuell gehalten wird, solange Vantoria läuft. Oder seine Bilder werden jetzt einmalig eingefügt.</translation>
    </message>
    <message>
        <source>&amp;Follow the folder</source>
        <translation>Dem Ordner &amp;folgen</translation>
    </message>
    <message>
        <source>&amp;Add its pictures once</source>
        <translation>Seine Bilder einmal &amp;einfügen</translation>
    </message>
    <message>
        <source>Vantoria Playlist (*.vpl)</source>
        <translation>Vantoria-Wiedergabeliste (*.vpl)</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Öffnen</translation>
    </message>
    <message>
        <source>Save As</source>
        <translation>Speichern unter</translation>
    </message>
</context>
<context>
    <name>TQtMessageService</name>
    <message>
        <source>Warning</source>
        <translation>Warnung</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
</context>
<context>
    <name>TSlideShow</name>
    <message>
        <source>File &quot;%1&quot; does not exists</source>
        <translation>Die Datei „%1“ existiert nicht</translation>
    </message>
    <message>
        <source>File &quot;%1&quot; cannot be read</source>
        <translation>Die Datei „%1“ kann nicht gelesen werden</translation>
    </message>
</context>
<context>
    <name>TXdgAutostart</name>
    <message>
        <source>&quot;%1&quot; cannot be removed: %2</source>
        <translation>„%1“ kann nicht entfernt werden: %2</translation>
    </message>
    <message>
        <source>the program&apos;s file name cannot be written into an autostart entry</source>
        <translation>der Dateiname des Programms kann nicht in einen Autostart-Eintrag geschrieben werden</translation>
    </message>
    <message>
        <source>the autostart folder cannot be made: %1</source>
        <translation>der Autostart-Ordner kann nicht angelegt werden: %1</translation>
    </message>
    <message>
        <source>&quot;%1&quot; cannot be written: %2</source>
        <translation>„%1“ kann nicht geschrieben werden: %2</translation>
    </message>
</context>
<context>
    <name>TfrmClock</name>
    <message>
        <source>Clock</source>
        <translation>Uhr</translation>
    </message>
    <message>
        <source>Hide Clock</source>
        <translation>Uhr ausblenden</translation>
    </message>
</context>
<context>
    <name>TfrmList</name>
    <message>
        <source>A folder: its pictures are shown in turn</source>
        <translation>Ein Ordner: seine Bilder werden der Reihe nach gezeigt</translation>
    </message>
    <message>
        <source> (missing)</source>
        <translation> (fehlt)</translation>
    </message>
    <message>
        <source>Playlist</source>
        <translation>Wiedergabeliste</translation>
    </message>
    <message>
        <source>&amp;OK</source>
        <translation>&amp;OK</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>&amp;Abbrechen</translation>
    </message>
    <message>
        <source>Add Image</source>
        <translation>Bild einfügen</translation>
    </message>
    <message>
        <source>Add Folder</source>
        <translation>Ordner einfügen</translation>
    </message>
    <message>
        <source>Load Playlist</source>
        <translation>Liste laden</translation>
    </message>
    <message>
        <source>Clear Playlist</source>
        <translation>Liste leeren</translation>
    </message>
    <message>
        <source>Save Playlist</source>
        <translation>Liste speichern</translation>
    </message>
    <message>
        <source>Remove Image</source>
        <translation>Bild entfernen</translation>
    </message>
    <message>
        <source>Unknown error</source>
        <translation>Unbekannter Fehler</translation>
    </message>
    <message>
        <source>1 file was not added: its name holds a line break, which a playlist file cannot store.</source>
        <translation>1 Datei wurde nicht hinzugefügt, weil ihr Name einen Zeilenumbruch enthält, den eine Wiedergabeliste nicht speichern kann.</translation>
    </message>
    <message>
        <source>%1 files were not added: their names hold a line break, which a playlist file cannot store.</source>
        <translation>%1 Dateien wurden nicht hinzugefügt, weil ihre Namen einen Zeilenumbruch enthalten, den eine Wiedergabeliste nicht speichern kann.</translation>
    </message>
    <message>
        <source>and %1 more</source>
        <translation>und %1 weitere</translation>
    </message>
    <message>
        <source>Select Wallpapers folder</source>
        <translation>Ordner mit Hintergrundbildern wählen</translation>
    </message>
    <message>
        <source>No wallpapers found in the selected folder</source>
        <translation>Im gewählten Ordner wurden keine Hintergrundbilder gefunden</translation>
    </message>
    <message>
        <source>An error occurs while reading file list</source>
        <translation>Beim Lesen der Dateiliste ist ein Fehler aufgetreten</translation>
    </message>
    <message>
        <source>Playlist is empty</source>
        <translation>Die Wiedergabeliste ist leer</translation>
    </message>
    <message>
        <source>Discard the changes to the playlist?</source>
        <translation>Die Änderungen an der Wiedergabeliste verwerfen?</translation>
    </message>
    <message>
        <source>Playlist</source>
        <comment>the label before the file name</comment>
        <translation>Liste</translation>
    </message>
</context>
<context>
    <name>TfrmMain</name>
    <message>
        <source>First Slide</source>
        <translation>Erstes Bild</translation>
    </message>
    <message>
        <source>Next Slide</source>
        <translation>Nächstes Bild</translation>
    </message>
    <message>
        <source>PrevSlide</source>
        <translation>Vorheriges Bild</translation>
    </message>
    <message>
        <source>Previous Slide</source>
        <translation>Vorheriges Bild</translation>
    </message>
    <message>
        <source>Last Slide</source>
        <translation>Letztes Bild</translation>
    </message>
    <message>
        <source>Run Slide Show</source>
        <translation>Diashow starten</translation>
    </message>
    <message>
        <source>Options</source>
        <translation>Optionen</translation>
    </message>
    <message>
        <source>Vantoria Options</source>
        <translation>Vantoria-Optionen</translation>
    </message>
    <message>
        <source>Reset to Default</source>
        <translation>Zurücksetzen</translation>
    </message>
    <message>
        <source>Restore Default Wallpaper</source>
        <translation>Ursprüngliches Hintergrundbild wiederherstellen</translation>
    </message>
    <message>
        <source>Load List</source>
        <translation>Liste laden</translation>
    </message>
    <message>
        <source>Load Play List</source>
        <translation>Wiedergabeliste laden</translation>
    </message>
    <message>
        <source>About Vantoria</source>
        <translation>Über Vantoria</translation>
    </message>
    <message>
        <source>Show Vantoria</source>
        <translation>Vantoria anzeigen</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>actMinimize</source>
        <translation>Minimieren</translation>
    </message>
    <message>
        <source>Minimize to tray</source>
        <translation>In den Infobereich minimieren</translation>
    </message>
    <message>
        <source>Remove Wallpaper</source>
        <translation>Hintergrundbild entfernen</translation>
    </message>
    <message>
        <source>Remove Wallpaper from desktop</source>
        <translation>Hintergrundbild vom Desktop entfernen</translation>
    </message>
    <message>
        <source>Show Clock</source>
        <translation>Uhr anzeigen</translation>
    </message>
    <message>
        <source>Hide Clock</source>
        <translation>Uhr ausblenden</translation>
    </message>
    <message>
        <source>Shuffle</source>
        <translation>Zufällige Reihenfolge</translation>
    </message>
    <message>
        <source>Show the playlist in a random order</source>
        <translation>Die Wiedergabeliste in zufälliger Reihenfolge zeigen</translation>
    </message>
    <message>
        <source>More Options...</source>
        <translation>Weitere Optionen...</translation>
    </message>
    <message>
        <source>Keep this wallpaper</source>
        <translation>Dieses Hintergrundbild behalten</translation>
    </message>
    <message>
        <source>Stop the show and leave this picture on the desktop when Vantoria ends</source>
        <translation>Die Diashow anhalten und dieses Bild auf dem Desktop lassen, wenn Vantoria endet</translation>
    </message>
    <message>
        <source>Unknown error</source>
        <translation>Unbekannter Fehler</translation>
    </message>
    <message>
        <source>Playlist is empty. Please add images to the playlist</source>
        <translation>Die Wiedergabeliste ist leer. Bitte fügen Sie ihr Bilder hinzu</translation>
    </message>
    <message>
        <source>Stop Slide Show</source>
        <translation>Diashow anhalten</translation>
    </message>
    <message>
        <source>Navigation</source>
        <translation>Navigation</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>&lt;b&gt;Close&lt;/b&gt;&lt;br/&gt;&lt;img src=&quot;:/images/10.svg&quot; width=&quot;16&quot; height=&quot;16&quot;/&gt;&amp;nbsp;Close Vantoria application</source>
        <translation>&lt;b&gt;Beenden&lt;/b&gt;&lt;br/&gt;&lt;img src=&quot;:/images/10.svg&quot; width=&quot;16&quot; height=&quot;16&quot;/&gt;&amp;nbsp;Die Anwendung Vantoria beenden</translation>
    </message>
</context>
<context>
    <name>TfrmMoreOptions</name>
    <message>
        <source>Folders in the playlist take in their &amp;subfolders</source>
        <translation>Ordner in der Wiedergabeliste schließen ihre &amp;Unterordner ein</translation>
    </message>
    <message>
        <source>More Options</source>
        <translation>Weitere Optionen</translation>
    </message>
    <message>
        <source>&amp;Shuffle: a random order, each picture once a round</source>
        <translation>&amp;Zufällige Reihenfolge: jedes Bild einmal pro Runde</translation>
    </message>
    <message>
        <source>&amp;Keep the last picture when Vantoria ends</source>
        <translation>Das letzte Bild &amp;behalten, wenn Vantoria endet</translation>
    </message>
    <message>
        <source>Start &amp;hidden in the tray</source>
        <translation>&amp;Versteckt im Infobereich starten</translation>
    </message>
    <message>
        <source>Start at &amp;log-in</source>
        <translation>Bei der &amp;Anmeldung starten</translation>
    </message>
    <message>
        <source>Each &amp;monitor its own picture: the next entries in turn</source>
        <translation>Jeder &amp;Monitor ein eigenes Bild: die nächsten Einträge der Reihe nach</translation>
    </message>
</context>
<context>
    <name>TfrmSettings</name>
    <message>
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source> &amp;Autoplay </source>
        <translation> &amp;Automatisch abspielen </translation>
    </message>
    <message>
        <source>Do not change wallpaper at start</source>
        <translation>Hintergrundbild beim Start nicht ändern</translation>
    </message>
    <message>
        <source>Continue to play last show at start</source>
        <translation>Beim Start die letzte Diashow fortsetzen</translation>
    </message>
    <message>
        <source>Change wallpaper once at start</source>
        <translation>Hintergrundbild beim Start einmal wechseln</translation>
    </message>
    <message>
        <source>Autoplay options</source>
        <translation>Optionen für das automatische Abspielen</translation>
    </message>
    <message>
        <source> &amp;Play Options </source>
        <translation> &amp;Wiedergabe </translation>
    </message>
    <message>
        <source>Change every (HH:MM:SS)</source>
        <translation>Wechseln alle (HH:MM:SS)</translation>
    </message>
    <message>
        <source>Play interval</source>
        <translation>Zeit bis zum nächsten Bild</translation>
    </message>
    <message>
        <source>Stop at last slide</source>
        <translation>Am Ende anhalten</translation>
    </message>
    <message>
        <source>Do not repeat slide show</source>
        <translation>Diashow nicht wiederholen</translation>
    </message>
    <message>
        <source> &amp;Wallpaper Style </source>
        <translation> &amp;Darstellung </translation>
    </message>
    <message>
        <source>Tile</source>
        <translation>Kacheln</translation>
    </message>
    <message>
        <source>Center</source>
        <translation>Zentrieren</translation>
    </message>
    <message>
        <source>Stretch</source>
        <translation>Strecken</translation>
    </message>
    <message>
        <source>Wallpaper style</source>
        <translation>Darstellung des Hintergrundbilds</translation>
    </message>
    <message>
        <source> &amp;Stretch </source>
        <translation> &amp;Strecken </translation>
    </message>
    <message>
        <source>Stretch image to desktop area</source>
        <translation>Bild auf die Desktopfläche strecken</translation>
    </message>
    <message>
        <source>Do not stretch (Letter Box)</source>
        <translation>Nicht strecken (Letterbox)</translation>
    </message>
    <message>
        <source>Zoom to fill desktop area</source>
        <translation>Vergrößern, bis die Desktopfläche gefüllt ist</translation>
    </message>
    <message>
        <source> Fill uncovered area </source>
        <translation> Freie Fläche füllen </translation>
    </message>
    <message>
        <source>Fill color</source>
        <translation>Füllfarbe</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Save settings</source>
        <translation>Einstellungen speichern</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Discard your changes</source>
        <translation>Änderungen verwerfen</translation>
    </message>
    <message>
        <source>The settings could not be saved: %1</source>
        <translation>Die Einstellungen konnten nicht gespeichert werden: %1</translation>
    </message>
</context>
</TS>
