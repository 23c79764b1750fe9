<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<!--
  German texts of the command layer (commands/): the checks' warnings and the commands'
  titles are plain constants there (no Qt), so lupdate cannot see them; the window shows
  them through tr() in the MainWindow context, and the texts of the exceptions they throw
  through commandText (source/ComputationRunner.h), which also takes "<text>: <name>".
  The context ObjectInfo holds the keys of the fitted primitives' info texts, which the
  object list shows translated. Kept by hand: a new constant that reaches a message box
  gets its line here.
  Agreed technical terms of both German files (this one and tessaro_de.ts, which lupdate
  rewrites), kept as they are in German: Gauss, Chebyshev, Minimax, ICP, STL, PNG, Polygon, Lasso, Radius, Radius2, Torus, Ellipse, Superellipse, Rotation, Translation, Info, auto, Auto, Huber, Tukey, x, y, z, S.
-->
<TS version="2.1" language="de_DE" sourcelanguage="en">
<context>
    <name>MainWindow</name>
    <message>
        <source>Operation is not supported.</source>
        <translation>Dieser Vorgang wird nicht unterstützt.</translation>
    </message>
    <message>
        <source>unkown GLobject</source>
        <translation>unbekanntes GL-Objekt</translation>
    </message>
    <message>
        <source>Please select two objects!</source>
        <translation>Bitte wählen Sie zwei Objekte aus!</translation>
    </message>
    <message>
        <source>Distance between two primitives is not supported.</source>
        <translation>Der Abstand zwischen zwei Primitiven wird nicht unterstützt.</translation>
    </message>
    <message>
        <source>Not enough points selected</source>
        <translation>Nicht genug Punkte ausgewählt</translation>
    </message>
    <message>
        <source>Max. number of iterations reached</source>
        <translation>Höchstzahl der Iterationen erreicht</translation>
    </message>
    <message>
        <source>Geometry approximation</source>
        <translation>Geometrie-Einpassung</translation>
    </message>
    <message>
        <source>Please select a function!</source>
        <translation>Bitte wählen Sie eine Funktion aus!</translation>
    </message>
    <message>
        <source>Convex hull can be computed for pointclouds only!</source>
        <translation>Die konvexe Hülle kann nur für Punktwolken berechnet werden!</translation>
    </message>
    <message>
        <source>Normal vectors</source>
        <translation>Normalenvektoren</translation>
    </message>
    <message>
        <source>Surface features</source>
        <translation>Oberflächenmerkmale</translation>
    </message>
    <message>
        <source>Normal vectors can be computed for pointclouds only!</source>
        <translation>Normalenvektoren können nur für Punktwolken berechnet werden!</translation>
    </message>
    <message>
        <source>Surface features can be computed for pointclouds only!</source>
        <translation>Oberflächenmerkmale können nur für Punktwolken berechnet werden!</translation>
    </message>
    <message>
        <source>Object can not be smoothed!</source>
        <translation>Das Objekt kann nicht geglättet werden!</translation>
    </message>
    <message>
        <source>Data type can not be thinned!</source>
        <translation>Dieser Datentyp kann nicht ausgedünnt werden!</translation>
    </message>
    <message>
        <source>Object can not be processed!</source>
        <translation>Das Objekt kann nicht verarbeitet werden!</translation>
    </message>
    <message>
        <source>Please select an algorithm!</source>
        <translation>Bitte wählen Sie einen Algorithmus aus!</translation>
    </message>
    <message>
        <source>Smoothing</source>
        <translation>Glättung</translation>
    </message>
    <message>
        <source>Thinning</source>
        <translation>Ausdünnung</translation>
    </message>
    <message>
        <source>Region detection</source>
        <translation>Regionenerkennung</translation>
    </message>
    <message>
        <source>Region Detection</source>
        <translation>Regionenerkennung</translation>
    </message>
    <message>
        <source>STL meshes can not be registered to eachother!</source>
        <translation>STL-Netze können nicht aufeinander registriert werden!</translation>
    </message>
    <message>
        <source>Registration with primitives is not supported!</source>
        <translation>Die Registrierung mit Primitiven wird nicht unterstützt!</translation>
    </message>
    <message>
        <source>Please select a pointcloud!</source>
        <translation>Bitte wählen Sie eine Punktwolke aus!</translation>
    </message>
    <message>
        <source>Please select one pointcloud only!</source>
        <translation>Bitte wählen Sie nur eine Punktwolke aus!</translation>
    </message>
    <message>
        <source>Data type(s) are not supported.</source>
        <translation>Datentyp(en) werden nicht unterstützt.</translation>
    </message>
    <message>
        <source>Line approximation</source>
        <translation>Geradeneinpassung</translation>
    </message>
    <message>
        <source>Plane approximation</source>
        <translation>Ebeneneinpassung</translation>
    </message>
    <message>
        <source>Circle approximation</source>
        <translation>Kreiseinpassung</translation>
    </message>
    <message>
        <source>Ellipse approximation</source>
        <translation>Ellipseneinpassung</translation>
    </message>
    <message>
        <source>Superellipse approximation</source>
        <translation>Superellipseneinpassung</translation>
    </message>
    <message>
        <source>Sphere approximation</source>
        <translation>Kugeleinpassung</translation>
    </message>
    <message>
        <source>Cylinder approximation</source>
        <translation>Zylindereinpassung</translation>
    </message>
    <message>
        <source>Cone approximation</source>
        <translation>Kegeleinpassung</translation>
    </message>
    <message>
        <source>Torus approximation</source>
        <translation>Toruseinpassung</translation>
    </message>
    <message>
        <source>Not a regular file: </source>
        <translation>Keine reguläre Datei: </translation>
    </message>
    <message>
        <source>Temporary file of an unfinished save: </source>
        <translation>Zwischendatei eines nicht beendeten Speicherns: </translation>
    </message>
    <message>
        <source>Only meshes can be saved as STL.</source>
        <translation>Nur Netze können als STL gespeichert werden.</translation>
    </message>
    <message>
        <source>A PLY file holds one cloud or mesh; select only one object.</source>
        <translation>Eine PLY-Datei enthält eine Punktwolke oder ein Netz; bitte wählen Sie nur ein Objekt aus.</translation>
    </message>
    <message>
        <source>The radius must be a finite number of at least 0.</source>
        <translation>Der Radius muss eine endliche Zahl von mindestens 0 sein.</translation>
    </message>
    <message>
        <source>The point number must be at least 1.</source>
        <translation>Die Punktanzahl muss mindestens 1 sein.</translation>
    </message>
    <message>
        <source>Chebyshev and point to plane registration can not be combined.</source>
        <translation>Chebyshev- und Punkt-zu-Ebene-Registrierung können nicht kombiniert werden.</translation>
    </message>
    <message>
        <source>The normals need at least 3 neighbouring points.</source>
        <translation>Die Normalen benötigen mindestens 3 Nachbarpunkte.</translation>
    </message>
    <message>
        <source>Unknown fit shape.</source>
        <translation>Unbekannte Einpassungsform.</translation>
    </message>
    <message>
        <source>Unsupported fit method.</source>
        <translation>Nicht unterstützte Einpassungsmethode.</translation>
    </message>
    <message>
        <source>Unsupported fit element.</source>
        <translation>Nicht unterstütztes Einpassungselement.</translation>
    </message>
    <message>
        <source>not a fit result (invalid JSON)</source>
        <translation>kein Einpassungsergebnis (ungültiges JSON)</translation>
    </message>
    <message>
        <source>not a fit result (no &quot;shape&quot;)</source>
        <translation>kein Einpassungsergebnis (kein „shape“)</translation>
    </message>
    <message>
        <source>not a fit result (no &quot;parameters&quot;)</source>
        <translation>kein Einpassungsergebnis (keine „parameters“)</translation>
    </message>
    <message>
        <source>the direction of the primitive is the zero vector</source>
        <translation>die Richtung des Primitivs ist der Nullvektor</translation>
    </message>
    <message>
        <source>invalid &quot;bottom&quot; or &quot;height&quot;</source>
        <translation>ungültiges „bottom“ oder „height“</translation>
    </message>
</context>
<context>
    <name>ObjectInfo</name>
    <message>
        <source>center</source>
        <translation>Zentrum</translation>
    </message>
    <message>
        <source>dir</source>
        <translation>Richtung</translation>
    </message>
    <message>
        <source>bottom</source>
        <translation>Boden</translation>
    </message>
</context>
</TS>
