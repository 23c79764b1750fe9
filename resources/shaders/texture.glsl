// Texture program: a textured quad (the frozen scene while an outline is drawn, the
// logo), or a plain outline in SelectionColor when drawPolygon is set.
#ifdef VERTEX_TEXTURE
layout(location = 0) in vec3 vertexIn;
layout(location = 1) in vec2 texCoordIn;
uniform mat4 ProjectionMatrix;
out vec2 texCoord;
void main() {
    texCoord = texCoordIn;
    gl_Position = ProjectionMatrix * vec4(vertexIn, 1.0);
}
#endif

#ifdef FRAGMENT_TEXTURE
in vec2 texCoord;
uniform sampler2D textureUnit;
uniform int drawPolygon = 0;
uniform vec4 SelectionColor;
out vec4 fragColor;
void main() {
    fragColor = (drawPolygon == 0) ? texture(textureUnit, texCoord) : SelectionColor;
}
#endif
