<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE" sourcelanguage="en">
<context>
    <name>ColorBar</name>
    <message>
        <location filename="../../source/panels/ColorBar.cpp" line="39"/>
        <source>min.</source>
        <translation>Min.</translation>
    </message>
    <message>
        <location filename="../../source/panels/ColorBar.cpp" line="39"/>
        <source>max.</source>
        <translation>Max.</translation>
    </message>
</context>
<context>
    <name>CuiDlgConfig</name>
    <message>
        <location filename="../../source/CuiDlgConfig.cpp" line="75"/>
        <source>Select color</source>
        <translation>Farbe wählen</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <location filename="../../source/MainWindow.ui" line="21"/>
        <source>Main</source>
        <translation>Hauptleiste</translation>
    </message>
    <message>
        <location filename="../../source/MainWindow.ui" line="36"/>
        <source>Info</source>
        <translation>Info</translation>
    </message>
    <message>
        <location filename="../../source/MainWindow.ui" line="40"/>
        <source>Menu</source>
        <translation>Menü</translation>
    </message>
    <message>
        <location filename="../../source/MainWindow.ui" line="45"/>
        <location filename="../../source/MainWindow.cpp" line="148"/>
        <source>Algorithms</source>
        <translation>Algorithmen</translation>
    </message>
    <message>
        <location filename="../../source/MainWindow.ui" line="50"/>
        <location filename="../../source/MainWindow.cpp" line="171"/>
        <source>Edit</source>
        <translation>Bearbeiten</translation>
    </message>
    <message>
        <location filename="../../source/MainWindow.ui" line="55"/>
        <location filename="../../source/MainWindow.cpp" line="180"/>
        <source>View</source>
        <translation>Ansicht</translation>
    </message>
    <message>
        <location filename="../../source/MainWindow.ui" line="59"/>
        <source>New</source>
        <translation>Neu</translation>
    </message>
    <message>
        <location filename="../../source/MainWindow.ui" line="63"/>
        <source>Load File</source>
        <translation>Datei laden</translation>
    </message>
    <message>
        <location filename="../../source/MainWindow.ui" line="67"/>
        <source>Save File</source>
        <translation>Datei speichern</translation>
    </message>
    <message>
        <location filename="../../source/MainWindow.ui" line="71"/>
        <source>Properties</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <location filename="../../source/MainWindow.ui" line="75"/>
        <location filename="../../source/MainWindow.cpp" line="568"/>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <location filename="../../source/InfoDialogs.cpp" line="15"/>
        <source>Algorithms Version</source>
        <translation>Algorithmen-Version</translation>
    </message>
    <message>
        <location filename="../../source/InfoDialogs.cpp" line="17"/>
        <source>Evaluation version</source>
        <translation>Evaluierungsversion</translation>
    </message>
    <message>
        <location filename="../../source/MainWindow.cpp" line="99"/>
        <location filename="../../source/MainWindow.cpp" line="101"/>
        <source>Application Requirements</source>
        <translation>Programmvoraussetzungen</translation>
    </message>
    <message>
        <location filename="../../source/MainWindow.cpp" line="101"/>
        <source>unknown exception</source>
        <translation>unbekannte Ausnahme</translation>
    </message>
    <message>
        <location filename="../../source/MainWindow.cpp" line="155"/>
        <source>Registration</source>
        <translation>Registrierung</translation>
    </message>
    <message>
        <location filename="../../source/MainWindow.cpp" line="156"/>
        <source>Distances</source>
        <translation>Abstände</translation>
    </message>
    <message>
        <location filename="../../source/MainWindow.cpp" line="157"/>
        <source>Geometry Fit</source>
        <translation>Geometrie einpassen</translation>
    </message>
    <message>
        <location filename="../../source/MainWindow.cpp" line="158"/>
        <source>Preprocess</source>
        <translation>Vorverarbeitung</translation>
    </message>
    <message>
        <location filename="../../source/MainWindow.cpp" line="159"/>
        <source>Surface Features</source>
        <translation>Oberflächenmerkmale</translation>
    </message>
    <message>
        <location filename="../../source/MainWindow.cpp" line="160"/>
        <source>Convex Hull</source>
        <translation>Konvexe Hülle</translation>
    </message>
    <message>
        <location filename="../../source/MainWindow.cpp" line="172"/>
        <source>Measure</source>
        <translation>Messen</translation>
    </message>
    <message>
        <location filename="../../source/MainWindow.cpp" line="173"/>
        <source>Measure distances&lt;hr&gt; Click on two positions in the scene.</source>
        <translation>Abstände messen&lt;hr&gt; Klicken Sie auf zwei Stellen in der Szene.</translation>
    </message>
    <message>
        <location filename="../../source/MainWindow.cpp" line="181"/>
        <source>Perspective</source>
        <translation>Perspektive</translation>
    </message>
    <message>
        <location filename="../../source/MainWindow.cpp" line="184"/>
        <source>Fit to Window</source>
        <translation>In Fenster einpassen</translation>
    </message>
    <message>
        <location filename="../../source/MainWindow.cpp" line="186"/>
        <source>Screenshot</source>
        <translation>Bildschirmfoto</translation>
    </message>
    <message>
        <location filename="../../source/MainWindow.cpp" line="190"/>
        <source>Front</source>
        <translation>Vorne</translation>
    </message>
    <message>
        <location filename="../../source/MainWindow.cpp" line="191"/>
        <source>Back</source>
        <translation>Hinten</translation>
    </message>
    <message>
        <location filename="../../source/MainWindow.cpp" line="192"/>
        <source>Left</source>
        <translation>Links</translation>
    </message>
    <message>
        <location filename="../../source/MainWindow.cpp" line="193"/>
        <source>Right</source>
        <translation>Rechts</translation>
    </message>
    <message>
        <location filename="../../source/MainWindow.cpp" line="194"/>
        <source>Top</source>
        <translation>Oben</translation>
    </message>
    <message>
        <location filename="../../source/MainWindow.cpp" line="195"/>
        <source>Bottom</source>
        <translation>Unten</translation>
    </message>
    <message>
        <location filename="../../source/MainWindow.cpp" line="208"/>
        <source>Point size</source>
        <translation>Punktgröße</translation>
    </message>
    <message>
        <location filename="../../source/MainWindow.cpp" line="232"/>
        <source>Edge overlay</source>
        <translation>Kanten überlagert</translation>
    </message>
    <message>
        <location filename="../../source/MainWindow.cpp" line="233"/>
        <source>Show polygon edges as overlay</source>
        <translation>Polygonkanten über der Fläche zeigen</translation>
    </message>
    <message>
        <location filename="../../source/MainWindow.cpp" line="234"/>
        <source>Edge only</source>
        <translation>Nur Kanten</translation>
    </message>
    <message>
        <location filename="../../source/MainWindow.cpp" line="235"/>
        <source>Show polygon edges only</source>
        <translation>Nur die Polygonkanten zeigen</translation>
    </message>
    <message>
        <location filename="../../source/MainWindow.cpp" line="292"/>
        <source>Stelvane Tessaro UI is the demonstration and test workbench of the alg3D library for 3D measurement data. It is provided for evaluation only, without any warranty.</source>
        <translation>Stelvane Tessaro UI ist die Demonstrations- und Testumgebung der Bibliothek alg3D für 3D-Messdaten. Sie dient nur der Evaluierung und wird ohne jede Gewährleistung bereitgestellt.</translation>
    </message>
    <message>
        <location filename="../../source/MainWindow.cpp" line="555"/>
        <location filename="../../source/MainWindowEdit.cpp" line="103"/>
        <source>Clear</source>
        <translation>Leeren</translation>
    </message>
    <message>
        <location filename="../../source/MainWindow.cpp" line="555"/>
        <source>Clear scene?</source>
        <translation>Szene leeren?</translation>
    </message>
    <message>
        <location filename="../../source/MainWindow.cpp" line="568"/>
        <source>Really quit?</source>
        <translation>Wirklich beenden?</translation>
    </message>
    <message>
        <location filename="../../source/MainWindow.cpp" line="627"/>
        <source>Computing...</source>
        <translation>Berechnung läuft...</translation>
    </message>
    <message>
        <location filename="../../source/MainWindowEdit.cpp" line="66"/>
        <source>Split</source>
        <translation>Trennen</translation>
    </message>
    <message>
        <location filename="../../source/MainWindowEdit.cpp" line="68"/>
        <source>Split points&lt;hr&gt;Selected points are split from an object into a new object.</source>
        <translation>Punkte trennen&lt;hr&gt;Die ausgewählten Punkte werden aus einem Objekt in ein neues Objekt abgetrennt.</translation>
    </message>
    <message>
        <location filename="../../source/MainWindowEdit.cpp" line="70"/>
        <source>Merge</source>
        <translation>Vereinen</translation>
    </message>
    <message>
        <location filename="../../source/MainWindowEdit.cpp" line="72"/>
        <source>Merge points&lt;hr&gt;Selected points from different objects are merged into one object.</source>
        <translation>Punkte vereinen&lt;hr&gt;Die ausgewählten Punkte verschiedener Objekte werden zu einem Objekt vereint.</translation>
    </message>
    <message>
        <location filename="../../source/MainWindowEdit.cpp" line="75"/>
        <location filename="../../source/MainWindowEdit.cpp" line="311"/>
        <source>Transform</source>
        <translation>Transformieren</translation>
    </message>
    <message>
        <location filename="../../source/MainWindowEdit.cpp" line="77"/>
        <source>Transform&lt;hr&gt;Applies an additional transform to the selected objects. Use the left mouse button to transform the selected objects and the right mouse button to change the camera orientation.</source>
        <translation>Transformieren&lt;hr&gt;Wendet eine zusätzliche Transformation auf die ausgewählten Objekte an. Mit der linken Maustaste werden die ausgewählten Objekte transformiert, mit der rechten Maustaste wird die Kamera gedreht.</translation>
    </message>
    <message>
        <location filename="../../source/MainWindowEdit.cpp" line="99"/>
        <source>Polygon</source>
        <translation>Polygon</translation>
    </message>
    <message>
        <location filename="../../source/MainWindowEdit.cpp" line="100"/>
        <source>Rectangle</source>
        <translation>Rechteck</translation>
    </message>
    <message>
        <location filename="../../source/MainWindowEdit.cpp" line="101"/>
        <source>Lasso</source>
        <translation>Lasso</translation>
    </message>
    <message>
        <location filename="../../source/MainWindowEdit.cpp" line="102"/>
        <source>Invert</source>
        <translation>Umkehren</translation>
    </message>
    <message>
        <location filename="../../source/MainWindowEdit.cpp" line="250"/>
        <source> Part</source>
        <translation> Teil</translation>
    </message>
    <message>
        <location filename="../../source/MainWindowEdit.cpp" line="270"/>
        <source>Merge data</source>
        <translation>Daten vereinen</translation>
    </message>
    <message>
        <location filename="../../source/MainWindowEdit.cpp" line="270"/>
        <source>Object types can not be merged!</source>
        <translation>Diese Objekttypen können nicht vereint werden!</translation>
    </message>
    <message>
        <location filename="../../source/MainWindowEdit.cpp" line="299"/>
        <source> new</source>
        <translation> neu</translation>
    </message>
    <message>
        <location filename="../../source/MainWindowEdit.cpp" line="311"/>
        <source>Accept the current transform?</source>
        <translation>Aktuelle Transformation übernehmen?</translation>
    </message>
    <message>
        <location filename="../../source/MainWindowFiles.cpp" line="53"/>
        <source>All supported</source>
        <translation>Alle unterstützten</translation>
    </message>
    <message>
        <location filename="../../source/MainWindowFiles.cpp" line="53"/>
        <source>Pointclouds</source>
        <translation>Punktwolken</translation>
    </message>
    <message>
        <location filename="../../source/MainWindowFiles.cpp" line="54"/>
        <source>STL-Mesh</source>
        <translation>STL-Netz</translation>
    </message>
    <message>
        <location filename="../../source/MainWindowFiles.cpp" line="55"/>
        <location filename="../../source/MainWindowFiles.cpp" line="215"/>
        <source>PLY (cloud or mesh)</source>
        <translation>PLY (Punktwolke oder Netz)</translation>
    </message>
    <message>
        <location filename="../../source/MainWindowFiles.cpp" line="56"/>
        <source>HLV-Scandata</source>
        <translation>HLV-Scandaten</translation>
    </message>
    <message>
        <location filename="../../source/MainWindowFiles.cpp" line="56"/>
        <source>Fit result</source>
        <translation>Einpassergebnis</translation>
    </message>
    <message>
        <location filename="../../source/MainWindowFiles.cpp" line="64"/>
        <source>Open file</source>
        <translation>Datei öffnen</translation>
    </message>
    <message>
        <location filename="../../source/MainWindowFiles.cpp" line="79"/>
        <location filename="../../source/MainWindowFiles.cpp" line="120"/>
        <source>Loading data...</source>
        <translation>Daten werden geladen...</translation>
    </message>
    <message>
        <location filename="../../source/MainWindowFiles.cpp" line="104"/>
        <source>Load point data</source>
        <translation>Punktdaten laden</translation>
    </message>
    <message>
        <location filename="../../source/MainWindowFiles.cpp" line="110"/>
        <location filename="../../source/MainWindowFiles.cpp" line="116"/>
        <location filename="../../source/MainWindowFiles.cpp" line="122"/>
        <location filename="../../source/MainWindowFiles.cpp" line="138"/>
        <location filename="../../source/MainWindowFiles.cpp" line="180"/>
        <source>Load data</source>
        <translation>Daten laden</translation>
    </message>
    <message>
        <location filename="../../source/MainWindowFiles.cpp" line="110"/>
        <source>Unknown file format: </source>
        <translation>Unbekanntes Dateiformat: </translation>
    </message>
    <message>
        <location filename="../../source/MainWindowFiles.cpp" line="114"/>
        <location filename="../../source/MainWindowFiles.cpp" line="134"/>
        <source>Load STL data</source>
        <translation>STL-Daten laden</translation>
    </message>
    <message>
        <location filename="../../source/MainWindowFiles.cpp" line="122"/>
        <location filename="../../source/MainWindowFiles.cpp" line="138"/>
        <source>Loading aborted.</source>
        <translation>Laden abgebrochen.</translation>
    </message>
    <message>
        <location filename="../../source/MainWindowFiles.cpp" line="208"/>
        <location filename="../../source/MainWindowFiles.cpp" line="221"/>
        <location filename="../../source/MainWindowFiles.cpp" line="226"/>
        <location filename="../../source/MainWindowFiles.cpp" line="264"/>
        <source>Save data</source>
        <translation>Daten speichern</translation>
    </message>
    <message>
        <location filename="../../source/MainWindowFiles.cpp" line="208"/>
        <source>Please select pointcloud(s) to save.</source>
        <translation>Bitte wählen Sie die zu speichernde(n) Punktwolke(n) aus.</translation>
    </message>
    <message>
        <location filename="../../source/MainWindowFiles.cpp" line="211"/>
        <source>Pointcloud</source>
        <translation>Punktwolke</translation>
    </message>
    <message>
        <location filename="../../source/MainWindowFiles.cpp" line="213"/>
        <source>Binary STL-Mesh</source>
        <translation>Binäres STL-Netz</translation>
    </message>
    <message>
        <location filename="../../source/MainWindowFiles.cpp" line="226"/>
        <source>Unknown file format!</source>
        <translation>Unbekanntes Dateiformat!</translation>
    </message>
    <message>
        <location filename="../../source/MainWindowFiles.cpp" line="263"/>
        <source>Saving data...</source>
        <translation>Daten werden gespeichert...</translation>
    </message>
    <message>
        <location filename="../../source/MainWindowFiles.cpp" line="274"/>
        <location filename="../../source/MainWindowFiles.cpp" line="280"/>
        <source>Save Screenshot</source>
        <translation>Bildschirmfoto speichern</translation>
    </message>
    <message>
        <location filename="../../source/MainWindowFiles.cpp" line="275"/>
        <source>Portable Network Graphics</source>
        <translation>PNG-Grafik</translation>
    </message>
    <message>
        <location filename="../../source/MainWindowFiles.cpp" line="275"/>
        <source>Windows Bitmap</source>
        <translation>Windows-Bitmap</translation>
    </message>
    <message>
        <location filename="../../source/MainWindowFiles.cpp" line="280"/>
        <source>The image could not be written.</source>
        <translation>Das Bild konnte nicht geschrieben werden.</translation>
    </message>
    <message>
        <location filename="../../source/MainWindowHull.cpp" line="20"/>
        <source>Convex Hull&lt;hr&gt;The convex hull of the selected point cloud becomes a new mesh object.</source>
        <translation>Konvexe Hülle&lt;hr&gt;Die konvexe Hülle der ausgewählten Punktwolke wird ein neues Netzobjekt.</translation>
    </message>
</context>
<context>
    <name>ObjectInfo</name>
    <message>
        <location filename="../../source/OpenGL/GLBaseObject.h" line="36"/>
        <source>points</source>
        <translation>Punkte</translation>
    </message>
    <message>
        <location filename="../../source/OpenGL/GLBaseObject.h" line="37"/>
        <source>triangles</source>
        <translation>Dreiecke</translation>
    </message>
    <message>
        <location filename="../../source/OpenGL/GLBaseObject.h" line="38"/>
        <source>ctr</source>
        <translation>Zentrum</translation>
    </message>
    <message>
        <location filename="../../source/OpenGL/GLBaseObject.h" line="39"/>
        <source>volume</source>
        <translation>Volumen</translation>
    </message>
    <message>
        <location filename="../../source/OpenGL/GLBaseObject.h" line="40"/>
        <source>selected</source>
        <translation>ausgewählt</translation>
    </message>
</context>
<context>
    <name>ObjectManager</name>
    <message>
        <location filename="../../source/ObjectManager.cpp" line="205"/>
        <source>Remove</source>
        <translation>Entfernen</translation>
    </message>
    <message>
        <location filename="../../source/ObjectManager.cpp" line="205"/>
        <source>Remove objects?</source>
        <translation>Objekte entfernen?</translation>
    </message>
    <message>
        <location filename="../../source/ObjectManager.cpp" line="228"/>
        <source>Select color</source>
        <translation>Farbe wählen</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <location filename="../../source/ComputationRunner.cpp" line="60"/>
        <source>Abort</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <location filename="../../source/ComputationRunner.cpp" line="104"/>
        <source>Unknown error!</source>
        <translation>Unbekannter Fehler!</translation>
    </message>
    <message>
        <location filename="../../source/panels/PanelLayout.cpp" line="55"/>
        <source>Compute</source>
        <translation>Berechnen</translation>
    </message>
</context>
<context>
    <name>QuiDlgConfig</name>
    <message>
        <location filename="../../source/QuiDlgConfig.ui" line="5"/>
        <source>Properties</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <location filename="../../source/QuiDlgConfig.ui" line="10"/>
        <source>Renderer</source>
        <translation>Darstellung</translation>
    </message>
    <message>
        <location filename="../../source/QuiDlgConfig.ui" line="14"/>
        <source>Background</source>
        <translation>Hintergrund</translation>
    </message>
    <message>
        <location filename="../../source/QuiDlgConfig.ui" line="20"/>
        <source>Background colour at the top of the view</source>
        <translation>Hintergrundfarbe oben in der Ansicht</translation>
    </message>
    <message>
        <location filename="../../source/QuiDlgConfig.ui" line="27"/>
        <source>Background colour at the bottom of the view</source>
        <translation>Hintergrundfarbe unten in der Ansicht</translation>
    </message>
    <message>
        <location filename="../../source/QuiDlgConfig.ui" line="33"/>
        <source>Show coordinate axes</source>
        <translation>Koordinatenachsen zeigen</translation>
    </message>
    <message>
        <location filename="../../source/QuiDlgConfig.ui" line="41"/>
        <source>User interface</source>
        <translation>Bedienoberfläche</translation>
    </message>
    <message>
        <location filename="../../source/QuiDlgConfig.ui" line="45"/>
        <source>Language</source>
        <translation>Sprache</translation>
    </message>
    <message>
        <location filename="../../source/QuiDlgConfig.ui" line="50"/>
        <source>German</source>
        <translation>Deutsch</translation>
    </message>
    <message>
        <location filename="../../source/QuiDlgConfig.ui" line="51"/>
        <source>English</source>
        <translation>Englisch</translation>
    </message>
    <message>
        <location filename="../../source/QuiDlgConfig.ui" line="56"/>
        <source>Colors</source>
        <translation>Farben</translation>
    </message>
    <message>
        <location filename="../../source/QuiDlgConfig.ui" line="61"/>
        <source>bright</source>
        <translation>hell</translation>
    </message>
    <message>
        <location filename="../../source/QuiDlgConfig.ui" line="62"/>
        <source>dark</source>
        <translation>dunkel</translation>
    </message>
    <message>
        <location filename="../../source/QuiDlgConfig.ui" line="70"/>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
</context>
<context>
    <name>TableWidget</name>
    <message>
        <location filename="../../source/ComputationRunner.cpp" line="153"/>
        <source>Context menu</source>
        <translation>Kontextmenü</translation>
    </message>
    <message>
        <location filename="../../source/ComputationRunner.cpp" line="154"/>
        <source>copy</source>
        <translation>kopieren</translation>
    </message>
</context>
<context>
    <name>WidgetAlgorithms</name>
    <message>
        <location filename="../../source/panels/WidgetAlgorithms.cpp" line="60"/>
        <source>Preprocess</source>
        <translation>Vorverarbeitung</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetAlgorithms.cpp" line="68"/>
        <source>Smoothing</source>
        <translation>Glättung</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetAlgorithms.cpp" line="69"/>
        <source>Moves every point towards the average of its neighbours</source>
        <translation>Zieht jeden Punkt zum Mittel seiner Nachbarn</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetAlgorithms.cpp" line="71"/>
        <source>Thinning</source>
        <translation>Ausdünnung</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetAlgorithms.cpp" line="72"/>
        <source>Reduces the cloud to a point number or a minimum spacing</source>
        <translation>Reduziert die Wolke auf eine Punktanzahl oder einen Mindestabstand</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetAlgorithms.cpp" line="73"/>
        <source>Regions</source>
        <translation>Regionen</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetAlgorithms.cpp" line="73"/>
        <source>Segmentation</source>
        <translation>Segmentierung</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetAlgorithms.cpp" line="84"/>
        <source>Radius of the neighbourhood of a point</source>
        <translation>Radius der Nachbarschaft eines Punkts</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetAlgorithms.cpp" line="85"/>
        <source>Neighborhood</source>
        <translation>Nachbarschaft</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetAlgorithms.cpp" line="85"/>
        <source>Radius</source>
        <translation>Radius</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetAlgorithms.cpp" line="90"/>
        <source>Number of points to keep</source>
        <translation>Anzahl der zu behaltenden Punkte</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetAlgorithms.cpp" line="91"/>
        <source>Point number</source>
        <translation>Punktanzahl</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetAlgorithms.cpp" line="91"/>
        <source>Points</source>
        <translation>Punkte</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetAlgorithms.cpp" line="96"/>
        <source>Thins to this number of points; unchecked, no two points stay closer than the radius</source>
        <translation>Dünnt auf diese Punktanzahl aus; ohne Haken bleiben keine zwei Punkte näher als der Radius beieinander</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetAlgorithms.cpp" line="100"/>
        <source>Smoothing function</source>
        <translation>Glättungsfunktion</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetAlgorithms.cpp" line="102"/>
        <source>Gauss</source>
        <translation>Gauss</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetAlgorithms.cpp" line="104"/>
        <source>Shape preserving</source>
        <translation>Formerhaltend</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetAlgorithms.cpp" line="106"/>
        <source>Feature preserving</source>
        <translation>Merkmalerhaltend</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetAlgorithms.cpp" line="116"/>
        <source>Maximum point number in a region to become selected</source>
        <translation>Höchste Punktanzahl einer Region, die ausgewählt wird</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetAlgorithms.cpp" line="117"/>
        <source>Select regions</source>
        <translation>Regionen auswählen</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetAlgorithms.cpp" line="117"/>
        <source>Max. points</source>
        <translation>Max. Punkte</translation>
    </message>
</context>
<context>
    <name>WidgetDistances</name>
    <message>
        <location filename="../../source/panels/WidgetDistances.cpp" line="46"/>
        <source>Distances</source>
        <translation>Abstände</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetDistances.cpp" line="52"/>
        <source>Data</source>
        <translation>Daten</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetDistances.cpp" line="58"/>
        <source>Reference:</source>
        <translation>Referenz:</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetDistances.cpp" line="60"/>
        <source>Test:</source>
        <translation>Prüfling:</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetDistances.cpp" line="66"/>
        <source>Parameters</source>
        <translation>Parameter</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetDistances.cpp" line="68"/>
        <source>Absolut values</source>
        <translation>Absolutwerte</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetDistances.cpp" line="69"/>
        <source>Computes absolute distances</source>
        <translation>Berechnet absolute Abstände</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetDistances.cpp" line="73"/>
        <source>Range</source>
        <translation>Bereich</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetDistances.cpp" line="75"/>
        <source>Minimum search distance</source>
        <translation>Kleinster Suchabstand</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetDistances.cpp" line="76"/>
        <source>Maximum search distance</source>
        <translation>Größter Suchabstand</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetDistances.cpp" line="77"/>
        <source>Select points inside</source>
        <translation>Punkte innerhalb auswählen</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetDistances.cpp" line="78"/>
        <source>Selects points inside the given range</source>
        <translation>Wählt die Punkte innerhalb des Bereichs aus</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetDistances.cpp" line="79"/>
        <source>Select points outside</source>
        <translation>Punkte außerhalb auswählen</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetDistances.cpp" line="80"/>
        <source>Selects points outside the given range</source>
        <translation>Wählt die Punkte außerhalb des Bereichs aus</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetDistances.cpp" line="81"/>
        <source>Min. distance</source>
        <translation>Min. Abstand</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetDistances.cpp" line="83"/>
        <source>Max. distance</source>
        <translation>Max. Abstand</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetDistances.cpp" line="91"/>
        <source>Color coding</source>
        <translation>Farbkodierung</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetDistances.cpp" line="94"/>
        <source>auto</source>
        <translation>auto</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetDistances.cpp" line="119"/>
        <location filename="../../source/panels/WidgetDistances.cpp" line="120"/>
        <source>n.a.</source>
        <translation>k. A.</translation>
    </message>
</context>
<context>
    <name>WidgetFitGeometry</name>
    <message>
        <location filename="../../source/panels/WidgetFitGeometry.cpp" line="70"/>
        <source>Geometry Fit</source>
        <translation>Geometrie einpassen</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetFitGeometry.cpp" line="78"/>
        <source>Function</source>
        <translation>Funktion</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetFitGeometry.cpp" line="90"/>
        <source>Plane</source>
        <translation>Ebene</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetFitGeometry.cpp" line="91"/>
        <source>Cylinder</source>
        <translation>Zylinder</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetFitGeometry.cpp" line="92"/>
        <source>Sphere</source>
        <translation>Kugel</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetFitGeometry.cpp" line="93"/>
        <source>Cone</source>
        <translation>Kegel</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetFitGeometry.cpp" line="94"/>
        <source>Torus</source>
        <translation>Torus</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetFitGeometry.cpp" line="95"/>
        <source>Circle</source>
        <translation>Kreis</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetFitGeometry.cpp" line="96"/>
        <source>Line</source>
        <translation>Gerade</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetFitGeometry.cpp" line="97"/>
        <source>Ellipse</source>
        <translation>Ellipse</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetFitGeometry.cpp" line="98"/>
        <source>Superellipse</source>
        <translation>Superellipse</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetFitGeometry.cpp" line="124"/>
        <source>Optimization method</source>
        <translation>Optimierungsverfahren</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetFitGeometry.cpp" line="128"/>
        <source>Gauss</source>
        <translation>Gauss</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetFitGeometry.cpp" line="130"/>
        <source>Minimizes the sum of squared deviations (least-squares).</source>
        <translation>Minimiert die Summe der Abweichungsquadrate (kleinste Quadrate).</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetFitGeometry.cpp" line="132"/>
        <source>Chebyshev</source>
        <translation>Chebyshev</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetFitGeometry.cpp" line="135"/>
        <source>Minimizes the absolute maximum deviation (minimum zone).
Gauss should be applied initially.</source>
        <translation>Minimiert die betragsgrößte Abweichung (Minimalzone).
Vorher sollte Gauss angewendet werden.</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetFitGeometry.cpp" line="137"/>
        <source>Minimum enclosing</source>
        <translation>Kleinstes Hüllelement</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetFitGeometry.cpp" line="139"/>
        <source>Computes hull element with minimal extension/radius.</source>
        <translation>Berechnet das Hüllelement mit kleinster Ausdehnung bzw. kleinstem Radius.</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetFitGeometry.cpp" line="140"/>
        <source>Maximum inscribing</source>
        <translation>Größtes Pferchelement</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetFitGeometry.cpp" line="142"/>
        <source>Computes inscribing element with maximal extension/radius.</source>
        <translation>Berechnet das Pferchelement mit größter Ausdehnung bzw. größtem Radius.</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetFitGeometry.cpp" line="152"/>
        <source>Chebyshev geometry</source>
        <translation>Chebyshev-Geometrie</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetFitGeometry.cpp" line="156"/>
        <source>central</source>
        <translation>mittig</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetFitGeometry.cpp" line="158"/>
        <source>Compute central Chebyshev element</source>
        <translation>Mittleres Chebyshev-Element berechnen</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetFitGeometry.cpp" line="160"/>
        <source>outer</source>
        <translation>außen</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetFitGeometry.cpp" line="162"/>
        <source>Compute outer Chebyshev element</source>
        <translation>Äußeres Chebyshev-Element berechnen</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetFitGeometry.cpp" line="163"/>
        <source>inner</source>
        <translation>innen</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetFitGeometry.cpp" line="165"/>
        <source>Compute inner Chebyshev element</source>
        <translation>Inneres Chebyshev-Element berechnen</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetFitGeometry.cpp" line="175"/>
        <source>Parameters</source>
        <translation>Parameter</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetFitGeometry.cpp" line="179"/>
        <source>Max. Iterations</source>
        <translation>Max. Iterationen</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetFitGeometry.cpp" line="185"/>
        <source>Enable outlier weighting</source>
        <translation>Ausreißer gewichten</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetFitGeometry.cpp" line="191"/>
        <source>Initialization</source>
        <translation>Startwerte</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetFitGeometry.cpp" line="197"/>
        <location filename="../../source/panels/WidgetFitGeometry.cpp" line="230"/>
        <source>Direction</source>
        <translation>Richtung</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetFitGeometry.cpp" line="217"/>
        <source>fix</source>
        <translation>fest</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetFitGeometry.cpp" line="219"/>
        <source>Holds the start value fixed during the fit</source>
        <translation>Hält den Startwert während der Einpassung fest</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetFitGeometry.cpp" line="224"/>
        <source>Factor</source>
        <translation>Faktor</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetFitGeometry.cpp" line="225"/>
        <source>Angle</source>
        <translation>Winkel</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetFitGeometry.cpp" line="226"/>
        <source>Radius</source>
        <translation>Radius</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetFitGeometry.cpp" line="227"/>
        <source>Radius2</source>
        <translation>Radius2</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetFitGeometry.cpp" line="228"/>
        <source>Point</source>
        <translation>Punkt</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetFitGeometry.cpp" line="232"/>
        <source>degrees</source>
        <translation>Grad</translation>
    </message>
</context>
<context>
    <name>WidgetObjects</name>
    <message>
        <location filename="../../source/panels/WidgetObjects.cpp" line="11"/>
        <source>Objects</source>
        <translation>Objekte</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetObjects.cpp" line="36"/>
        <source>show</source>
        <translation>zeigen</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetObjects.cpp" line="37"/>
        <source>hide</source>
        <translation>verbergen</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetObjects.cpp" line="38"/>
        <source>color</source>
        <translation>Farbe</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetObjects.cpp" line="39"/>
        <source>remove</source>
        <translation>entfernen</translation>
    </message>
</context>
<context>
    <name>WidgetRegistration</name>
    <message>
        <location filename="../../source/panels/WidgetRegistration.cpp" line="55"/>
        <source>Registration</source>
        <translation>Registrierung</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetRegistration.cpp" line="71"/>
        <source>Data</source>
        <translation>Daten</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetRegistration.cpp" line="77"/>
        <source>Reference:</source>
        <translation>Referenz:</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetRegistration.cpp" line="79"/>
        <source>Test:</source>
        <translation>Prüfling:</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetRegistration.cpp" line="84"/>
        <source>Optimization method</source>
        <translation>Optimierungsverfahren</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetRegistration.cpp" line="87"/>
        <source>Gauss</source>
        <translation>Gauss</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetRegistration.cpp" line="89"/>
        <source>Minimizes the sum of squared deviations (least-squares).</source>
        <translation>Minimiert die Summe der Abweichungsquadrate (kleinste Quadrate).</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetRegistration.cpp" line="91"/>
        <source>Chebyshev</source>
        <translation>Chebyshev</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetRegistration.cpp" line="94"/>
        <source>Minimizes the absolute maximum deviation (Minimax).
Gauss should be applied initially.</source>
        <translation>Minimiert die betragsgrößte Abweichung (Minimax).
Vorher sollte Gauss angewendet werden.</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetRegistration.cpp" line="96"/>
        <source>Point to plane</source>
        <translation>Punkt zu Ebene</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetRegistration.cpp" line="99"/>
        <source>Minimizes the squared distances to the tangent planes of the reference (least-squares).
For independent scans and meshes.</source>
        <translation>Minimiert die quadrierten Abstände zu den Tangentialebenen der Referenz (kleinste Quadrate).
Für unabhängige Scans und Netze.</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetRegistration.cpp" line="110"/>
        <source>none</source>
        <translation>keine</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetRegistration.cpp" line="111"/>
        <source>Huber</source>
        <translation>Huber</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetRegistration.cpp" line="112"/>
        <source>Tukey</source>
        <translation>Tukey</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetRegistration.cpp" line="113"/>
        <source>Down-weights large distances to the tangent planes</source>
        <translation>Gewichtet große Abstände zu den Tangentialebenen herunter</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetRegistration.cpp" line="115"/>
        <source>Points of the reference that define a normal</source>
        <translation>Punkte der Referenz, die eine Normale bestimmen</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetRegistration.cpp" line="116"/>
        <source>Weighting</source>
        <translation>Gewichtung</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetRegistration.cpp" line="118"/>
        <source>Normal points</source>
        <translation>Normalenpunkte</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetRegistration.cpp" line="125"/>
        <source>Initialization</source>
        <translation>Startwerte</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetRegistration.cpp" line="128"/>
        <source>Max. search radius</source>
        <translation>Max. Suchradius</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetRegistration.cpp" line="129"/>
        <source>Align center points</source>
        <translation>Mittelpunkte ausrichten</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetRegistration.cpp" line="130"/>
        <source>Search radius (0=auto)</source>
        <translation>Suchradius (0=auto)</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetRegistration.cpp" line="135"/>
        <source>Parameters</source>
        <translation>Parameter</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetRegistration.cpp" line="140"/>
        <source>0=all</source>
        <translation>0=alle</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetRegistration.cpp" line="141"/>
        <source>Tolerance</source>
        <translation>Toleranz</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetRegistration.cpp" line="143"/>
        <source>Max. iterations</source>
        <translation>Max. Iterationen</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetRegistration.cpp" line="145"/>
        <source>Point number</source>
        <translation>Punktanzahl</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetRegistration.cpp" line="151"/>
        <source>Degrees of freedom</source>
        <translation>Freiheitsgrade</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetRegistration.cpp" line="154"/>
        <location filename="../../source/panels/WidgetRegistration.cpp" line="157"/>
        <source>x</source>
        <translation>x</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetRegistration.cpp" line="155"/>
        <location filename="../../source/panels/WidgetRegistration.cpp" line="158"/>
        <source>y</source>
        <translation>y</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetRegistration.cpp" line="156"/>
        <location filename="../../source/panels/WidgetRegistration.cpp" line="159"/>
        <source>z</source>
        <translation>z</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetRegistration.cpp" line="160"/>
        <source>S</source>
        <translation>S</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetRegistration.cpp" line="161"/>
        <source>Is origin</source>
        <translation>Ist Ursprung</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetRegistration.cpp" line="162"/>
        <source>Rotation</source>
        <translation>Rotation</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetRegistration.cpp" line="166"/>
        <source>Translation</source>
        <translation>Translation</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetRegistration.cpp" line="170"/>
        <source>Scaling</source>
        <translation>Skalierung</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetRegistration.cpp" line="172"/>
        <source>Rotation center</source>
        <translation>Drehpunkt</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetRegistration.cpp" line="182"/>
        <location filename="../../source/panels/WidgetRegistration.cpp" line="183"/>
        <source>n.a.</source>
        <translation>k. A.</translation>
    </message>
</context>
<context>
    <name>WidgetSurfaceFeatures</name>
    <message>
        <location filename="../../source/panels/WidgetSurfaceFeatures.cpp" line="48"/>
        <source>Surface Features</source>
        <translation>Oberflächenmerkmale</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetSurfaceFeatures.cpp" line="55"/>
        <source>Normals</source>
        <translation>Normalen</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetSurfaceFeatures.cpp" line="56"/>
        <source>Computes surface normal vectors</source>
        <translation>Berechnet die Normalenvektoren der Oberfläche</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetSurfaceFeatures.cpp" line="57"/>
        <source>Curvature</source>
        <translation>Krümmung</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetSurfaceFeatures.cpp" line="58"/>
        <source>Computes surface curvature measures</source>
        <translation>Berechnet Krümmungsmaße der Oberfläche</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetSurfaceFeatures.cpp" line="65"/>
        <source>Kernel size</source>
        <translation>Kerngröße</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetSurfaceFeatures.cpp" line="66"/>
        <source>Define a kernel size which is appropriate to the feature size</source>
        <translation>Eine zur Merkmalsgröße passende Kerngröße wählen</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetSurfaceFeatures.cpp" line="68"/>
        <location filename="../../source/panels/WidgetSurfaceFeatures.cpp" line="126"/>
        <source>Auto</source>
        <translation>Auto</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetSurfaceFeatures.cpp" line="70"/>
        <source>Point number</source>
        <translation>Punktanzahl</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetSurfaceFeatures.cpp" line="71"/>
        <source>Radius</source>
        <translation>Radius</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetSurfaceFeatures.cpp" line="88"/>
        <source>Function</source>
        <translation>Funktion</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetSurfaceFeatures.cpp" line="90"/>
        <source>Intrinsic curvature</source>
        <translation>Intrinsische Krümmung</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetSurfaceFeatures.cpp" line="91"/>
        <source>Extrinsic curvature</source>
        <translation>Extrinsische Krümmung</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetSurfaceFeatures.cpp" line="92"/>
        <source>Local edges</source>
        <translation>Lokale Kanten</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetSurfaceFeatures.cpp" line="93"/>
        <source>Local point density</source>
        <translation>Lokale Punktdichte</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetSurfaceFeatures.cpp" line="126"/>
        <source>Approximate</source>
        <translation>Näherung</translation>
    </message>
</context>
<context>
    <name>WidgetTransform</name>
    <message>
        <location filename="../../source/panels/WidgetTransform.cpp" line="26"/>
        <source>Transform</source>
        <translation>Transformieren</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetTransform.cpp" line="28"/>
        <source>Manual transform</source>
        <translation>Manuelle Transformation</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetTransform.cpp" line="38"/>
        <source>Axis</source>
        <translation>Achse</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetTransform.cpp" line="39"/>
        <source>Angle</source>
        <translation>Winkel</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetTransform.cpp" line="40"/>
        <source>Movement</source>
        <translation>Verschiebung</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetTransform.cpp" line="49"/>
        <source>degrees</source>
        <translation>Grad</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetTransform.cpp" line="50"/>
        <source>Add</source>
        <translation>Hinzufügen</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetTransform.cpp" line="52"/>
        <source>Adds the rotation and the movement to the current transform</source>
        <translation>Fügt die Drehung und die Verschiebung der aktuellen Transformation hinzu</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetTransform.cpp" line="56"/>
        <source>Current transform</source>
        <translation>Aktuelle Transformation</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetTransform.cpp" line="69"/>
        <source>Null</source>
        <translation>Zurücksetzen</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetTransform.cpp" line="71"/>
        <source>Clears the fields of the manual transform</source>
        <translation>Leert die Felder der manuellen Transformation</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetTransform.cpp" line="72"/>
        <source>Accept</source>
        <translation>Übernehmen</translation>
    </message>
    <message>
        <location filename="../../source/panels/WidgetTransform.cpp" line="74"/>
        <source>Discard</source>
        <translation>Verwerfen</translation>
    </message>
</context>
</TS>
