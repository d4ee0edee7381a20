<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es">
<context>
    <name>CommandLine</name>
    <message>
        <source>%1 (see --help)</source>
        <translation>%1 (vea --help)</translation>
    </message>
    <message>
        <source>  --fit               Show the whole picture inside 240 x 60, keeping its shape;
                      the space left over gets the background colour (default).
  --fill              Cover all of 240 x 60, keeping the shape; what sticks out
                      is cut off.
  --stretch           Stretch the whole picture to 240 x 60.
  --align POSITION    Where a fitted picture sits, or which part a filled one
                      keeps: left, center or right and/or top, middle or bottom,
                      for example &quot;left&quot; or &quot;top,right&quot; (default: center).
  --background COLOR  Colour behind transparent parts and around a fitted picture:
                      a name such as white or black, or #rgb / #rrggbb
                      (default: white).
  --threshold N       Pixels darker than N (luminance 0 to 255) become black
                      (default: 128).
  --dither            Spread shades of grey as dot patterns (Floyd-Steinberg)
                      instead of a plain threshold; suits photographs.
  --invert            Swap black and white.
</source>
        <translation>  --fit               Muestra la imagen entera dentro de 240 x 60, conservando
                      su forma; el espacio sobrante toma el color de fondo (por
                      omisión).
  --fill              Cubre todo el 240 x 60, conservando la forma; lo que
                      sobresale se recorta.
  --stretch           Estira la imagen entera a 240 x 60.
  --align POSITION    Dónde queda una imagen ajustada, o qué parte conserva una
                      rellenada: left, center o right y/o top, middle o bottom,
                      por ejemplo &quot;left&quot; o &quot;top,right&quot; (por omisión: center).
  --background COLOR  Color detrás de las partes transparentes y alrededor de
                      una imagen ajustada: un nombre como white o black, o #rgb
                      / #rrggbb (por omisión: white).
  --threshold N       Los píxeles más oscuros que N (luminancia de 0 a 255)
                      pasan a negro (por omisión: 128).
  --dither            Reparte los tonos de gris en patrones de puntos
                      (Floyd-Steinberg) en vez de un umbral simple; va bien con
                      fotografías.
  --invert            Intercambia el blanco y el negro.
</translation>
    </message>
    <message>
        <source>Usage: kestrel-logo-loader [-platform NAME] [other options every Qt program takes]
</source>
        <translation>Uso: kestrel-logo-loader [-platform NOMBRE] [otras opciones que admite todo programa Qt]
</translation>
    </message>
    <message>
        <source>The Kestrel II Logo loader&apos;s window; kestrel-load loads a logo without one.
  -h, --help  Show this help.
  --version   Show the version.
</source>
        <translation>La ventana del cargador de logotipo Kestrel II; kestrel-load carga un logotipo
sin ella.
  -h, --help  Muestra esta ayuda.
  --version   Muestra la versión.
</translation>
    </message>
    <message>
        <source>missing value after &apos;%1&apos;</source>
        <translation>falta el valor después de &apos;%1&apos;</translation>
    </message>
    <message>
        <source>unknown option &apos;%1&apos;</source>
        <translation>opción desconocida &apos;%1&apos;</translation>
    </message>
    <message>
        <source>unexpected argument &apos;%1&apos;: pictures are opened in the window</source>
        <translation>argumento inesperado &apos;%1&apos;: las imágenes se abren en la ventana</translation>
    </message>
</context>
<context>
    <name>ConvertCommand</name>
    <message>
        <source>Usage: kestrel-logo-convert INPUT OUTPUT.bmp [options]

Turns a picture (PNG, JPEG, GIF, BMP of any size and depth) into the 240 x 60,
black-and-white Windows bitmap that the Kestrel II Logo loader accepts.

Options:
</source>
        <translation>Uso: kestrel-logo-convert ENTRADA SALIDA.bmp [opciones]

Convierte una imagen (PNG, JPEG, GIF, BMP de cualquier tamaño y profundidad) en
el mapa de bits de Windows de 240 x 60 en blanco y negro que acepta el cargador
de logotipo Kestrel II.

Opciones:
</translation>
    </message>
    <message>
        <source>  --preview FILE.png  Also save what the device will show, enlarged 2 x (480 x 120).
  -h, --help          Show this help.
  --version           Show the version.

Exit status 0 on success, 1 when the picture cannot be read or the result cannot be
written, 64 for wrong arguments. An existing OUTPUT is only replaced by a complete
file; one that is the input, a folder or a device is never replaced.
</source>
        <translation>  --preview FILE.png  Guarda además lo que mostrará el dispositivo, ampliado 2 x
                      (480 x 120).
  -h, --help          Muestra esta ayuda.
  --version           Muestra la versión.

Estado de salida 0 si todo va bien, 1 si no se puede leer la imagen o escribir
el resultado, 64 si los argumentos son incorrectos. Una SALIDA existente solo se
sustituye por un archivo completo; nunca se sustituye si es la entrada, una
carpeta o un dispositivo.
</translation>
    </message>
    <message>
        <source>give the input picture and the output bitmap</source>
        <translation>indique la imagen de entrada y el mapa de bits de salida</translation>
    </message>
    <message>
        <source>give the output bitmap after the input picture</source>
        <translation>indique el mapa de bits de salida después de la imagen de entrada</translation>
    </message>
    <message>
        <source>too many file names: %1</source>
        <translation>demasiados nombres de archivo: %1</translation>
    </message>
    <message>
        <source>a file name is empty</source>
        <translation>un nombre de archivo está vacío</translation>
    </message>
    <message>
        <source>the preview file name is empty</source>
        <translation>el nombre del archivo de vista previa está vacío</translation>
    </message>
    <message>
        <source>the preview and the bitmap must be different files</source>
        <translation>la vista previa y el mapa de bits deben ser archivos distintos</translation>
    </message>
    <message>
        <source>the bitmap would replace the input picture: give another name</source>
        <translation>el mapa de bits sustituiría a la imagen de entrada: indique otro nombre</translation>
    </message>
    <message>
        <source>the preview would replace the input picture: give another name</source>
        <translation>la vista previa sustituiría a la imagen de entrada: indique otro nombre</translation>
    </message>
    <message>
        <source>the bitmap %1 would be a BMP file named as %2: give it the extension .bmp</source>
        <translation>el mapa de bits %1 sería un archivo BMP con nombre de %2: póngale la extensión .bmp</translation>
    </message>
    <message>
        <source>cannot write %1: %2</source>
        <translation>no se puede escribir %1: %2</translation>
    </message>
    <message>
        <source>cannot write the preview %1: %2</source>
        <translation>no se puede escribir la vista previa %1: %2</translation>
    </message>
    <message>
        <source>the written bitmap %1 does not read back as a logo</source>
        <translation>el mapa de bits escrito %1 no se puede volver a leer como logotipo</translation>
    </message>
</context>
<context>
    <name>Dialogs</name>
    <message>
        <source>OK</source>
        <translation>Aceptar</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancelar</translation>
    </message>
    <message>
        <source>Aceptar</source>
        <translation>Aceptar</translation>
    </message>
    <message>
        <source>Cancelar</source>
        <translation>Cancelar</translation>
    </message>
    <message>
        <source>Set COM PORT</source>
        <translation>Elegir PUERTO COM</translation>
    </message>
    <message>
        <source>COM PORT</source>
        <translation>PUERTO COM</translation>
    </message>
    <message>
        <source>Device of each COM port</source>
        <translation>Dispositivo de cada puerto COM</translation>
    </message>
    <message>
        <source>Port</source>
        <translation>Puerto</translation>
    </message>
    <message>
        <source>Device</source>
        <translation>Dispositivo</translation>
    </message>
    <message>
        <source>Description</source>
        <translation>Descripción</translation>
    </message>
    <message>
        <source>Set by</source>
        <translation>Origen</translation>
    </message>
    <message>
        <source>Serial devices detected</source>
        <translation>Dispositivos serie detectados</translation>
    </message>
    <message>
        <source>Manufacturer</source>
        <translation>Fabricante</translation>
    </message>
    <message>
        <source>Serial number</source>
        <translation>Número de serie</translation>
    </message>
    <message>
        <source>Assign the selected device to</source>
        <translation>Asignar el dispositivo elegido a</translation>
    </message>
    <message>
        <source>Assign</source>
        <translation>Asignar</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>Quitar</translation>
    </message>
    <message>
        <source>Set Baudrate</source>
        <translation>Elegir velocidad</translation>
    </message>
    <message>
        <source>BaudRate</source>
        <translation>Velocidad</translation>
    </message>
    <message>
        <source> 4800 bauds</source>
        <translation> 4800 baudios</translation>
    </message>
    <message>
        <source> 9600 bauds</source>
        <translation> 9600 baudios</translation>
    </message>
    <message>
        <source>19200 bauds</source>
        <translation>19200 baudios</translation>
    </message>
    <message>
        <source>38400 bauds</source>
        <translation>38400 baudios</translation>
    </message>
    <message>
        <source>57600 bauds</source>
        <translation>57600 baudios</translation>
    </message>
    <message>
        <source>115200 bauds</source>
        <translation>115200 baudios</translation>
    </message>
    <message>
        <source>TCP/IP Settings</source>
        <translation>Configuración TCP/IP</translation>
    </message>
    <message>
        <source>IP Host</source>
        <translation>Host IP</translation>
    </message>
    <message>
        <source>Remote Port</source>
        <translation>Puerto remoto</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Ayuda</translation>
    </message>
    <message>
        <source>English:</source>
        <translation>Inglés:</translation>
    </message>
    <message>
        <source>See file &apos;Help Programmable Logo KESTREL II.pdf&apos;</source>
        <translation>Ver archivo &apos;Help Programmable Logo KESTREL II.pdf&apos;</translation>
    </message>
    <message>
        <source>Español:</source>
        <translation>Español:</translation>
    </message>
    <message>
        <source>Ver archivo &apos;Manual programa Quillory para KESTREL II.pdf&apos;</source>
        <translation>Ver archivo &apos;Manual programa Quillory para KESTREL II.pdf&apos;</translation>
    </message>
    <message>
        <source>About ...</source>
        <translation>Acerca de...</translation>
    </message>
    <message>
        <source>Version %1.%2.%3</source>
        <translation>Versión %1.%2.%3</translation>
    </message>
    <message>
        <source>Downloader for programable initial Logo</source>
        <translation>Cargador del logotipo inicial programable</translation>
    </message>
    <message>
        <source>Quillory Instruments
All rights reserved
2010</source>
        <translation>Quillory Instruments
Todos los derechos reservados
2010</translation>
    </message>
    <message>
        <source>%1  (%2 x %3 pixels)</source>
        <translation>%1  (%2 x %3 píxeles)</translation>
    </message>
    <message>
        <source>What the device will show, at twice its size</source>
        <translation>Lo que mostrará el dispositivo, al doble de su tamaño</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Tamaño</translation>
    </message>
    <message>
        <source>&amp;Fit: whole picture, shape kept</source>
        <translation>&amp;Ajustar: imagen entera, forma conservada</translation>
    </message>
    <message>
        <source>F&amp;ill: whole logo, edges cut off</source>
        <translation>&amp;Rellenar: logotipo entero, bordes recortados</translation>
    </message>
    <message>
        <source>&amp;Stretch: whole picture, shape ignored</source>
        <translation>&amp;Estirar: imagen entera, forma ignorada</translation>
    </message>
    <message>
        <source>Black and white</source>
        <translation>Blanco y negro</translation>
    </message>
    <message>
        <source>Pixels darker than this (0 to 255) become black</source>
        <translation>Los píxeles más oscuros que este valor (0 a 255) pasan a negro</translation>
    </message>
    <message>
        <source>&amp;Threshold:</source>
        <translation>&amp;Umbral:</translation>
    </message>
    <message>
        <source>&amp;Dither: shades as dot patterns (photographs)</source>
        <translation>&amp;Tramado: tonos como patrones de puntos (fotografías)</translation>
    </message>
    <message>
        <source>In&amp;vert black and white</source>
        <translation>&amp;Invertir blanco y negro</translation>
    </message>
    <message>
        <source>Save &amp;Bitmap...</source>
        <translation>&amp;Guardar mapa de bits...</translation>
    </message>
    <message>
        <source>Save Bitmap</source>
        <translation>Guardar mapa de bits</translation>
    </message>
    <message>
        <source>&amp;Import Picture...</source>
        <translation>&amp;Importar imagen...</translation>
    </message>
    <message>
        <source>User&apos;s guide: not found beside this program</source>
        <translation>Guía del usuario: no está junto a este programa</translation>
    </message>
    <message>
        <source>User&apos;s guide: %1</source>
        <translation>Guía del usuario: %1</translation>
    </message>
</context>
<context>
    <name>Files</name>
    <message>
        <source>no such file</source>
        <translation>no existe el archivo</translation>
    </message>
    <message>
        <source>no such folder</source>
        <translation>no existe la carpeta</translation>
    </message>
    <message>
        <source>it is a folder</source>
        <translation>es una carpeta</translation>
    </message>
    <message>
        <source>it is not a regular file</source>
        <translation>no es un archivo normal</translation>
    </message>
    <message>
        <source>it is a link, not a regular file</source>
        <translation>es un enlace, no un archivo normal</translation>
    </message>
    <message>
        <source>it names a device, not a regular file</source>
        <translation>nombra un dispositivo, no un archivo normal</translation>
    </message>
    <message>
        <source>it is larger than 1 MiB</source>
        <translation>ocupa más de 1 MiB</translation>
    </message>
    <message>
        <source>it would grow larger than 1 MiB</source>
        <translation>pasaría a ocupar más de 1 MiB</translation>
    </message>
    <message>
        <source>it cannot hold the text &quot;%1&quot;</source>
        <translation>no puede contener el texto &quot;%1&quot;</translation>
    </message>
    <message>
        <source>its lock file %1 is not a regular file</source>
        <translation>su archivo de bloqueo %1 no es un archivo normal</translation>
    </message>
    <message>
        <source>another program is writing it (lock file %1)</source>
        <translation>otro programa lo está escribiendo (archivo de bloqueo %1)</translation>
    </message>
</context>
<context>
    <name>LoadCommand</name>
    <message>
        <source>no serial devices detected</source>
        <translation>no se ha detectado ningún dispositivo serie</translation>
    </message>
    <message>
        <source>--list-ports takes no picture</source>
        <translation>--list-ports no admite ninguna imagen</translation>
    </message>
    <message>
        <source>the port is empty</source>
        <translation>el puerto está vacío</translation>
    </message>
    <message>
        <source>bad port &quot;%1&quot;: COM numbers go from 1 to 255</source>
        <translation>puerto &quot;%1&quot; no válido: los números COM van del 1 al 255</translation>
    </message>
    <message>
        <source>bad port &quot;%1&quot; in %2: COM numbers go from 1 to 255</source>
        <translation>puerto &quot;%1&quot; no válido en %2: los números COM van del 1 al 255</translation>
    </message>
    <message>
        <source>bad speed &quot;%1&quot;: use 4800, 9600, 19200, 38400, 57600 or 115200</source>
        <translation>velocidad &quot;%1&quot; no válida: use 4800, 9600, 19200, 38400, 57600 o 115200</translation>
    </message>
    <message>
        <source>the log file name is empty</source>
        <translation>el nombre del archivo de registro está vacío</translation>
    </message>
    <message>
        <source>give the picture to load</source>
        <translation>indique la imagen que se va a cargar</translation>
    </message>
    <message>
        <source>give one picture only: %1</source>
        <translation>indique una sola imagen: %1</translation>
    </message>
    <message>
        <source>the picture&apos;s file name is empty</source>
        <translation>el nombre de archivo de la imagen está vacío</translation>
    </message>
    <message>
        <source>the log and the picture must be different files</source>
        <translation>el registro y la imagen deben ser archivos distintos</translation>
    </message>
    <message>
        <source>%1 is a logo bitmap, sent as it is: %2 ignored</source>
        <translation>%1 es un mapa de bits de logotipo y se envía tal cual: se ignora %2</translation>
    </message>
    <message>
        <source>loaded %1 onto %2: checksum %3, %4 frames, %5 ms</source>
        <translation>%1 cargado en %2: suma de control %3, %4 tramas, %5 ms</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source> (%1 after %2 frames)</source>
        <translation> (%1 tras %2 tramas)</translation>
    </message>
    <message>
        <source> [%1 loaded, %2 failed]</source>
        <translation> [%1 cargados, %2 fallidos]</translation>
    </message>
    <message>
        <source>%1 loaded, %2 failed</source>
        <translation>%1 cargados, %2 fallidos</translation>
    </message>
    <message>
        <source>next device: press Enter, or unplug the adapter and plug it in again (Ctrl-C ends)</source>
        <translation>siguiente dispositivo: pulse Intro, o desenchufe el adaptador y vuelva a enchufarlo (Ctrl-C termina)</translation>
    </message>
    <message>
        <source>next device: press Enter (Ctrl-C ends)</source>
        <translation>siguiente dispositivo: pulse Intro (Ctrl-C termina)</translation>
    </message>
    <message>
        <source>console closed</source>
        <translation>consola cerrada</translation>
    </message>
    <message>
        <source>
  -h, --help          Show this help.
  --version           Show the version.

One line on standard error says how each download ended, after any note on the
picture; on a terminal a progress bar runs meanwhile, one line per port. With -q
only a failed download&apos;s line is written.

Exit status: 0 loaded (also after --help, --version, --list-ports); 1 the device
did not acknowledge a block, or refused or did not answer the logo information;
2 the port could not be used (does not exist, held by another program, no
permission, lost); 3 the picture was refused or could not be read; 64 a usage
error (bad arguments, or a bad KESTREL_PORT); 128 + n a download was
interrupted by signal n (130 for Ctrl-C, 143 SIGTERM, 129 SIGHUP, 141 a closed
output pipe): it stops after the frame in flight, lets the port go and is
logged as interrupted. With --repeat: 0 when every download loaded, else the
status of the last one that failed; Ctrl-C while waiting for the next device
only ends the run. With several ports, the highest status of any port.
</source>
        <translation>
  -h, --help          Muestra esta ayuda.
  --version           Muestra la versión.

Una línea en la salida de error estándar indica cómo terminó cada carga, tras
cualquier nota sobre la imagen; en un terminal, mientras tanto, avanza una barra
de progreso, una línea por puerto. Con -q solo se escribe la línea de una carga
fallida.

Estado de salida: 0 cargado (también tras --help, --version, --list-ports); 1 el
dispositivo no confirmó un bloque, o rechazó o no respondió la información del
logotipo; 2 no se pudo usar el puerto (no existe, lo tiene otro programa, sin
permiso, perdido); 3 la imagen se rechazó o no se pudo leer; 64 un error de uso
(argumentos incorrectos, o un KESTREL_PORT incorrecto); 128 + n una carga fue
interrumpida por la señal n (130 para Ctrl-C, 143 SIGTERM, 129 SIGHUP, 141 una
tubería de salida cerrada): se detiene tras la trama en curso, libera el puerto
y queda registrada como interrumpida. Con --repeat: 0 si todas las cargas fueron
correctas; si no, el estado de la última que falló; Ctrl-C mientras se espera al
siguiente dispositivo solo termina la serie. Con varios puertos, el estado más
alto de todos.
</translation>
    </message>
    <message>
        <source>an empty port in &quot;%1&quot;</source>
        <translation>un puerto vacío en &quot;%1&quot;</translation>
    </message>
    <message>
        <source>%2 holds an empty port: &quot;%1&quot;</source>
        <translation>%2 contiene un puerto vacío: &quot;%1&quot;</translation>
    </message>
    <message>
        <source>%1 and %2 are the same port (%3)</source>
        <translation>%1 y %2 son el mismo puerto (%3)</translation>
    </message>
    <message>
        <source>%1 and %2 in %4 are the same port (%3)</source>
        <translation>%1 y %2 en %4 son el mismo puerto (%3)</translation>
    </message>
    <message>
        <source>%1: %2 loaded, %3 failed</source>
        <translation>%1: %2 cargadas, %3 fallidas</translation>
    </message>
    <message>
        <source>Usage: kestrel-load [options] PICTURE
       kestrel-load --list-ports [--json]

Loads PICTURE into a Kestrel II device over a serial line, with the same 132
frames as the loader&apos;s &quot;Send to Kestrel-II&quot;. A 240 x 60, 1-bit logo bitmap is
sent as it is; any other picture (PNG, JPEG, GIF, BMP of another size or depth)
is converted first, exactly as kestrel-logo-convert converts it.

Port:
  -p, --port COMn|DEVICE[,...]
                      A COM number, resolved as the loader resolves it, or a
                      device such as /dev/ttyUSB0, /dev/pts/3 or COM14
                      (Windows); a bare name such as ttyUSB0 means /dev/ttyUSB0.
                      Several ports, the option repeated or separated by commas,
                      are loaded at once, each with its own download; two names
                      of one device are refused.
                      Default: the environment variable KESTREL_PORT, in the
                      same forms, when it is set and not empty; else CommPort
                      in Tessaly.ini (beside the program, or in
                      ~/.config/kestrel-logo-loader where the program&apos;s folder
                      cannot be written, as for an installed package); COM 8
                      when it names none, as in the loader&apos;s window.
  -b, --baud N        4800, 9600, 19200, 38400, 57600 or 115200.
                      Default: Baud in Tessaly.ini.
  --list-ports        List the serial devices detected, one a line, separated by
                      tabs: device, description, manufacturer, serial number and
                      the COM numbers assigned to it (&quot;-&quot; where there is none).

Production:
  --repeat            After each download, wait for the next device and load it
                      too: press Enter (each line on standard input starts one
                      on every port), or unplug a USB adapter and plug it in
                      again (that port alone). Ctrl-C ends with a summary; so
                      does the end of standard input unless a USB adapter is
                      being watched. A failure never stops it.
  --log FILE          Append the download log to FILE instead of
                      kestrel-loads.log beside Tessaly.ini (CSV, one line per
                      download).
  --operator NAME     The operator the log names for each download. Default:
                      the user&apos;s login name.
  -v, --trace         Print every frame and reply with its time on standard
                      output (standard error with --json), after the port&apos;s
                      name when there are several.
  --json              Write one JSON object per download on standard output, a
                      line each: the log&apos;s fields under its header&apos;s names and
                      &quot;status&quot;, that download&apos;s exit status. With --list-ports,
                      one object per device.
  -q, --quiet         Write errors only: no progress bar, no line for a download
                      that loaded, no notes, prompts or summary.

Converting a picture that is not a logo bitmap (a logo bitmap ignores them):
</source>
        <translation>Uso: kestrel-load [opciones] IMAGEN
     kestrel-load --list-ports [--json]

Carga IMAGEN en un dispositivo Kestrel II por una línea serie, con las mismas
132 tramas que &quot;Enviar al Kestrel-II&quot; del cargador. Un mapa de bits de logotipo
de 240 x 60 y 1 bit se envía tal cual; cualquier otra imagen (PNG, JPEG, GIF,
BMP de otro tamaño o profundidad) se convierte antes, exactamente como la
convierte kestrel-logo-convert.

Puerto:
  -p, --port COMn|DISPOSITIVO[,...]
                      Un número COM, resuelto como lo resuelve el cargador, o un
                      dispositivo como /dev/ttyUSB0, /dev/pts/3 o COM14
                      (Windows); un nombre solo, como ttyUSB0, significa
                      /dev/ttyUSB0. Varios puertos, repitiendo la opción o
                      separados por comas, se cargan a la vez, cada uno con su
                      propia carga; dos nombres del mismo dispositivo se
                      rechazan. Por omisión: la variable de entorno
                      KESTREL_PORT, en las mismas formas, si está definida y no
                      vacía; si no, CommPort en Tessaly.ini (junto al programa,
                      o en ~/.config/kestrel-logo-loader si no se puede escribir
                      en la carpeta del programa, como en un paquete instalado);
                      COM 8 si no indica ninguno, como en la ventana del
                      cargador.
  -b, --baud N        4800, 9600, 19200, 38400, 57600 o 115200. Por omisión:
                      Baud en Tessaly.ini.
  --list-ports        Lista los dispositivos serie detectados, uno por línea,
                      separados por tabuladores: dispositivo, descripción,
                      fabricante, número de serie y los números COM que tiene
                      asignados (&quot;-&quot; donde no hay ninguno).

Producción:
  --repeat            Tras cada carga, espera al siguiente dispositivo y lo
                      carga también: pulse Intro (cada línea de la entrada
                      estándar inicia una en cada puerto), o desenchufe un
                      adaptador USB y vuelva a enchufarlo (solo ese puerto).
                      Ctrl-C termina con un resumen; también el fin de la
                      entrada estándar, salvo que se esté vigilando un
                      adaptador USB. Un fallo nunca lo detiene.
  --log FILE          Añade el registro de cargas a FILE en lugar de a
                      kestrel-loads.log junto a Tessaly.ini (CSV, una línea por
                      carga).
  --operator NOMBRE   El operario que el registro indica en cada carga. Por
                      omisión: el nombre de inicio de sesión del usuario.
  -v, --trace         Escribe cada trama y cada respuesta con su hora en la
                      salida estándar (en la salida de error con --json), tras
                      el nombre del puerto cuando hay varios.
  --json              Escribe un objeto JSON por carga en la salida estándar,
                      una línea cada uno: los campos del registro con los
                      nombres de su cabecera y &quot;status&quot;, el estado de salida de
                      esa carga. Con --list-ports, un objeto por dispositivo.
  -q, --quiet         Escribe solo los errores: sin barra de progreso, sin línea
                      para una carga correcta, sin notas, avisos ni resumen.

Conversión de una imagen que no es un mapa de bits de logotipo (un mapa de bits
de logotipo las ignora):
</translation>
    </message>
    <message>
        <source>the operator&apos;s name is empty</source>
        <translation>el nombre del operario está vacío</translation>
    </message>
</context>
<context>
    <name>Messages</name>
    <message>
        <source>INVALID FILE FORMAT !!

Format expected:
File type: BMP (Windows Bitmap)
Width : 240 pixels
Height : 60 pixels
Image type : 2 Colors (1 bit)
</source>
        <translation>¡¡FORMATO DE ARCHIVO NO VÁLIDO!!

Formato esperado:
Tipo de archivo: BMP (mapa de bits de Windows)
Ancho: 240 píxeles
Alto: 60 píxeles
Tipo de imagen: 2 colores (1 bit)
</translation>
    </message>
    <message>
        <source>Cannot open the file %1:
%2</source>
        <translation>No se puede abrir el archivo %1:
%2</translation>
    </message>
    <message>
        <source>Port Error</source>
        <translation>Error de puerto</translation>
    </message>
    <message>
        <source>COMMUNICATION ERROR !!

Check configuration and connection.</source>
        <translation>¡¡ERROR DE COMUNICACIÓN!!

Compruebe la configuración y la conexión.</translation>
    </message>
    <message>
        <source>COMMUNICATION ERROR WHEN SENDING LOGO INFORMATION!!

Check configuration and connection.</source>
        <translation>¡¡ERROR DE COMUNICACIÓN AL ENVIAR LA INFORMACIÓN DEL LOGOTIPO!!

Compruebe la configuración y la conexión.</translation>
    </message>
    <message>
        <source>Download interrupted: the logo was not sent completely.</source>
        <translation>Carga interrumpida: el logotipo no se envió completo.</translation>
    </message>
    <message>
        <source>Serial port occupied by another program</source>
        <translation>Puerto serie ocupado por otro programa</translation>
    </message>
    <message>
        <source>Port is used by other aplication</source>
        <translation>Otra aplicación está usando el puerto</translation>
    </message>
    <message>
        <source>Serial port cannot be opened. Check setting.</source>
        <translation>No se puede abrir el puerto serie. Compruebe la configuración.</translation>
    </message>
    <message>
        <source>The settings file %1 could not be written.</source>
        <translation>No se ha podido escribir el archivo de configuración %1.</translation>
    </message>
    <message>
        <source>Settings cannot be kept: neither the program&apos;s folder %1 nor %2 can be written (%3).</source>
        <translation>No se puede guardar la configuración: no se puede escribir ni en la carpeta del programa %1 ni en %2 (%3).</translation>
    </message>
    <message>
        <source>The download log &quot;%1&quot; cannot be written: %2</source>
        <translation>No se puede escribir el registro de cargas &quot;%1&quot;: %2</translation>
    </message>
    <message>
        <source>The bitmap was not saved:
%1.</source>
        <translation>El mapa de bits no se ha guardado:
%1.</translation>
    </message>
    <message>
        <source>%1 is a picture, not a logo bitmap.

Import it as a logo?</source>
        <translation>%1 es una imagen, no un mapa de bits de logotipo.

¿Importarla como logotipo?</translation>
    </message>
</context>
<context>
    <name>Pictures</name>
    <message>
        <source>cannot read %1: no such file</source>
        <translation>no se puede leer %1: no existe el archivo</translation>
    </message>
    <message>
        <source>cannot read %1: %2</source>
        <translation>no se puede leer %1: %2</translation>
    </message>
    <message>
        <source>cannot read %1: the file is empty</source>
        <translation>no se puede leer %1: el archivo está vacío</translation>
    </message>
    <message>
        <source>cannot read the picture in %1: it is made of more than %2 scans, which no real photograph needs and which would take minutes to decode</source>
        <translation>no se puede leer la imagen de %1: consta de más de %2 barridos, algo que ninguna fotografía real necesita y que tardaría minutos en decodificarse</translation>
    </message>
    <message>
        <source>%1 is not a picture in a format this program reads (%2)</source>
        <translation>%1 no es una imagen en un formato que este programa sepa leer (%2)</translation>
    </message>
    <message>
        <source>the picture in %1 has zero size</source>
        <translation>la imagen de %1 tiene tamaño cero</translation>
    </message>
    <message>
        <source>the picture in %1 is too large (%2 x %3 pixels)</source>
        <translation>la imagen de %1 es demasiado grande (%2 x %3 píxeles)</translation>
    </message>
    <message>
        <source>cannot read the picture in %1: %2</source>
        <translation>no se puede leer la imagen de %1: %2</translation>
    </message>
    <message>
        <source>cannot read the picture in %1: the file is cut short</source>
        <translation>no se puede leer la imagen de %1: el archivo está incompleto</translation>
    </message>
    <message>
        <source>choose only one of --fit, --fill and --stretch</source>
        <translation>elija solo una de --fit, --fill y --stretch</translation>
    </message>
    <message>
        <source>bad threshold &quot;%1&quot;: give a whole number from 0 to 255</source>
        <translation>umbral &quot;%1&quot; no válido: indique un número entero de 0 a 255</translation>
    </message>
    <message>
        <source>bad alignment &quot;%1&quot;: use left, center or right and/or top, middle or bottom, as in &quot;top,left&quot;</source>
        <translation>alineación &quot;%1&quot; no válida: use left, center o right y/o top, middle o bottom, como en &quot;top,left&quot;</translation>
    </message>
    <message>
        <source>bad background colour &quot;%1&quot;: give a colour name such as white or black, or #rrggbb</source>
        <translation>color de fondo &quot;%1&quot; no válido: indique un nombre de color como white o black, o #rrggbb</translation>
    </message>
</context>
<context>
    <name>SerialPort</name>
    <message>
        <source>The serial port %1 does not exist.</source>
        <translation>El puerto serie %1 no existe.</translation>
    </message>
    <message>
        <source>The serial port %1 does not exist: its assignment &quot;%2&quot; in %3 names no device.</source>
        <translation>El puerto serie %1 no existe: su asignación &quot;%2&quot; en %3 no indica ningún dispositivo.</translation>
    </message>
    <message>
        <source>Invalid port number %1</source>
        <translation>Número de puerto no válido: %1</translation>
    </message>
    <message>
        <source>Port already open</source>
        <translation>El puerto ya está abierto</translation>
    </message>
    <message>
        <source>The serial port %1 is used by another program.</source>
        <translation>Otro programa está usando el puerto serie %1.</translation>
    </message>
    <message>
        <source>No permission to use the serial port %1: the device belongs to the group &quot;%2&quot;. Add your user to that group and log in again.</source>
        <translation>No tiene permiso para usar el puerto serie %1: el dispositivo pertenece al grupo &quot;%2&quot;. Añada su usuario a ese grupo y vuelva a iniciar sesión.</translation>
    </message>
    <message>
        <source>No permission to use the serial port %1: only the user &quot;%2&quot; may use the device.</source>
        <translation>No tiene permiso para usar el puerto serie %1: solo el usuario &quot;%2&quot; puede usar el dispositivo.</translation>
    </message>
    <message>
        <source>No permission to use the serial port %1.</source>
        <translation>No tiene permiso para usar el puerto serie %1.</translation>
    </message>
    <message>
        <source>The device %1 refused the line settings %2: %3</source>
        <translation>El dispositivo %1 rechazó los parámetros de línea %2: %3</translation>
    </message>
    <message>
        <source>The serial port %1 stopped working. Check that the device is still connected.</source>
        <translation>El puerto serie %1 ha dejado de funcionar. Compruebe que el dispositivo sigue conectado.</translation>
    </message>
    <message>
        <source>Operation valid only when the port is open</source>
        <translation>Operación válida solo con el puerto abierto</translation>
    </message>
    <message>
        <source>Serial port %1: %2</source>
        <translation>Puerto serie %1: %2</translation>
    </message>
    <message>
        <source>Held by process %1.</source>
        <translation>Lo tiene el proceso %1.</translation>
    </message>
    <message>
        <source>Held by %1 (process %2).</source>
        <translation>Lo tiene %1 (proceso %2).</translation>
    </message>
</context>
<context>
    <name>Window</name>
    <message>
        <source>Kestrel II Logo loader</source>
        <translation>Cargador de logotipo Kestrel II</translation>
    </message>
    <message>
        <source>Quillory KESTREL II</source>
        <translation>Quillory KESTREL II</translation>
    </message>
    <message>
        <source>%1 - simulated device (COM %2 is a pseudo-terminal)</source>
        <translation>%1 - dispositivo simulado (COM %2 es un pseudoterminal)</translation>
    </message>
    <message>
        <source>INITIAL LOGO LOADER FOR KESTREL II</source>
        <translation>CARGADOR DEL LOGOTIPO INICIAL DE KESTREL II</translation>
    </message>
    <message>
        <source>Open Bitmap</source>
        <translation>Abrir mapa de bits</translation>
    </message>
    <message>
        <source>Send to Kestrel-II</source>
        <translation>Enviar al Kestrel-II</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Archivo</translation>
    </message>
    <message>
        <source>&amp;Comm</source>
        <translation>&amp;Comunicación</translation>
    </message>
    <message>
        <source>Close</source>
        <comment>Comm menu: close the port</comment>
        <translation>Cerrar</translation>
    </message>
    <message>
        <source>Open</source>
        <comment>Comm menu: open the port</comment>
        <translation>Abrir</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>Ay&amp;uda</translation>
    </message>
    <message>
        <source>Bitmaps (*.bmp)</source>
        <translation>Mapas de bits (*.bmp)</translation>
    </message>
    <message>
        <source>Pictures (%1);;All files (*)</source>
        <translation>Imágenes (%1);;Todos los archivos (*)</translation>
    </message>
    <message>
        <source>Import Picture</source>
        <translation>Importar imagen</translation>
    </message>
    <message>
        <source>Not connected</source>
        <translation>Sin conexión</translation>
    </message>
    <message>
        <source>Port opened</source>
        <translation>Puerto abierto</translation>
    </message>
    <message>
        <source>Port closed</source>
        <translation>Puerto cerrado</translation>
    </message>
    <message>
        <source>This file&apos;s palette lists white first: the device will show the picture as drawn here, inverted compared with other viewers. kestrel-logo-convert fixes the file.</source>
        <translation>La paleta de este archivo pone el blanco primero: el dispositivo mostrará la imagen como se ve aquí, invertida respecto a otros visores. kestrel-logo-convert corrige el archivo.</translation>
    </message>
    <message>
        <source>Logo loaded at %1, checksum %2</source>
        <translation>Logotipo cargado a las %1, suma de control %2</translation>
    </message>
    <message>
        <source> (not logged)</source>
        <translation> (sin registrar)</translation>
    </message>
    <message>
        <source>not present</source>
        <translation>no presente</translation>
    </message>
    <message>
        <source>not a usable device name</source>
        <translation>no es un nombre de dispositivo válido</translation>
    </message>
    <message>
        <source>assigned in %1</source>
        <translation>asignado en %1</translation>
    </message>
    <message>
        <source>link %1</source>
        <translation>enlace %1</translation>
    </message>
    <message>
        <source>&amp;Open Bitmap</source>
        <translation>&amp;Abrir mapa de bits</translation>
    </message>
    <message>
        <source>&amp;Import Picture...</source>
        <translation>&amp;Importar imagen...</translation>
    </message>
    <message>
        <source>&amp;End</source>
        <translation>&amp;Salir</translation>
    </message>
    <message>
        <source>&amp;Port</source>
        <translation>&amp;Puerto</translation>
    </message>
    <message>
        <source>&amp;Settings</source>
        <translation>Con&amp;figuración</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <comment>Comm menu item, with its access key</comment>
        <translation>&amp;Cerrar</translation>
    </message>
    <message>
        <source>&amp;Open</source>
        <comment>Comm menu item, with its access key</comment>
        <translation>&amp;Abrir</translation>
    </message>
    <message>
        <source>&amp;About</source>
        <translation>&amp;Acerca de</translation>
    </message>
    <message>
        <source>Logo NOT loaded at %1</source>
        <translation>Logotipo NO cargado a las %1</translation>
    </message>
    <message>
        <source>%1 loaded, %2 failed since start</source>
        <translation>%1 cargados, %2 fallidos desde el inicio</translation>
    </message>
    <message>
        <source>Found %1: Comm &gt; Port to use it</source>
        <translation>Encontrado %1: Comunicación &gt; Puerto para usarlo</translation>
    </message>
    <message>
        <source>Found %1 serial ports: choose the device&apos;s in Comm &gt; Port</source>
        <translation>Encontrados %1 puertos serie: elija el del dispositivo en Comunicación &gt; Puerto</translation>
    </message>
    <message>
        <source>No serial adapter found: plug one in, then choose it in Comm &gt; Port</source>
        <translation>No se encontró ningún adaptador serie: conecte uno y elíjalo en Comunicación &gt; Puerto</translation>
    </message>
    <message>
        <source>(close the port first)</source>
        <translation>(cierre antes el puerto)</translation>
    </message>
</context>
</TS>
