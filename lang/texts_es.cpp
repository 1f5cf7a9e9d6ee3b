#include "lang/language_texts.h"

namespace vxk5 {

extern const LanguageTexts kTextsSpanish = {{
    {"IDS_WIZARD_BACK", "< Atrás"},
    {"IDS_WIZARD_NEXT", "Siguiente >"},
    {"IDS_WIZARD_FINISH", "Finalizar"},
    {"IDS_WIZARD_CANCEL", "Cancelar"},
    {"IDS_ACCEPT_CANCEL", "¿Está seguro de que desea cancelar la instalación?"},
    {"IDS_TITLE_INSTALLER", "Instalación de la configuración"},
    {"IDS_PREPARECOPY", "Preparando la copia..."},
    {"IDS_INSTALL_ERROR", "Error de instalación"},
    {"IDS_ERROR_NOSOURCE", "No se encontró el archivo de instalación vxk5.efd."},
    {"IDS_ERROR_NOTARGET", "No se admite la instalación de plantillas en la carpeta actual."},
    {"IDS_ERROR_NOSPACE", "No hay espacio suficiente en la carpeta Temp."},
    {"IDS_CHOOSEDIR_FOLDER", "&Carpeta:"},
    {"IDS_CHOOSEDIR_TITLE", "Seleccionar carpeta"},
    {"IDR_MAINFRAME", "Instalación de la configuración"},
    {"IDS_SETUP_EMPTYTARGET", "Especifique una ruta válida a la carpeta de plantillas."},
    {"IDS_INSTALL_FINISH", "Copia completada..."},
    {"IDS_ERROR_DAMAGEDSOURCE", "El archivo de instalación vxk5.efd está dañado o no está destinado a este programa de instalación."},
    {"IDS_DEFPRODUCT", "<Producto>"},
    {"IDS_DEFPROVIDER", "<Proveedor>"},
    {"IDS_SUCCESS_FINISH", "La configuración se instaló correctamente."},
    {"IDS_SUCCESS_OPENDESCR", "Abrir la descripción del paquete de instalación"},
    {"IDS_PROGRESS_START", "Copiando archivos..."},
    {"IDS_ERROR_FINISH", "Se produjo un error durante la instalación. La instalación se canceló. La carpeta de plantillas no se modificó."},
    {"IDS_CANCEL_FINISH", "La instalación se canceló. La carpeta de plantillas no se modificó."},
    {"IDS_BROWSE_SELDIR", "Carpeta seleccionada:"},
    {"IDS_BROWSE_OK", "Seleccionar"},
    {"IDS_BROWSE_CANCEL", "Cancelar"},
    {"IDS_WELCOME_TITLE", "Bienvenido al programa de instalación del producto"},
    {"IDS_SETUP_EXISTEDTARGET", "La carpeta de instalación contiene archivos que pueden modificarse durante la instalación. ¿Desea continuar?"},
    {"IDS_DESTINATION_PROMPT", "Especifique la ruta a la carpeta de plantillas. El programa de instalación instalará las plantillas y los archivos de configuración en la carpeta especificada."},
    {"IDS_TEMPLATE_CATALOG", "Carpeta de plantillas:"},
    {"IDS_ERROR_BACKUPKEPT", "No se pudieron restaurar todos los archivos originales. Los originales se conservan en:"},
    {"IDS_RECOVERED_INSTALL", "Se encontró una instalación interrumpida y se limpió. Carpeta de plantillas:"},
    {"IDS_WAITING_INSTALL", "Esperando a que termine otra instalación en esta carpeta..."},
    {"IDS_ERROR_BADTARGET", "Esta ruta no se puede usar como carpeta de plantillas: no es una carpeta o no se puede escribir en ella."},
    {"IDS_ERROR_NOTRESTORED", "No se pudieron restaurar estos archivos originales:"},
}};

}  // namespace vxk5
