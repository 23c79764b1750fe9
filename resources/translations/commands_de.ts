<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<!--
  German texts of the command layer (commands/): the checks' warnings and the commands'
  titles are plain constants there (no Qt), so lupdate cannot see them; the window shows
  them through tr() in the MainWindow context. The context ObjectInfo holds the keys of
  the fitted primitives' info texts, which the object list shows translated. Kept by
  hand: a new constant that reaches a message box gets its line here.
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
