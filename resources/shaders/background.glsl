// Background program: a vertical gradient from ColorBottom to ColorTop over the viewport.
#ifdef VERTEX_PROGRAM
layout(location = 0) in vec3 vertexIn;
uniform mat4 ProjectionMatrix;
void main() {
    gl_Position = ProjectionMatrix * vec4(vertexIn, 1.0);
}
#endif

#ifdef FRAGMENT_PROGRAM
uniform vec4 ColorBottom;
uniform vec4 ColorTop;
uniform float Resolution;
out vec4 fragColor;
void main() {
    fragColor = mix(ColorBottom, ColorTop, gl_FragCoord.y / Resolution);
}
#endif
