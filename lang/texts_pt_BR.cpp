#include "lang/language_texts.h"

namespace vxk5 {

extern const LanguageTexts kTextsPortugueseBrazil = {{
    {"IDS_WIZARD_BACK", "< Voltar"},
    {"IDS_WIZARD_NEXT", "Avançar >"},
    {"IDS_WIZARD_FINISH", "Concluir"},
    {"IDS_WIZARD_CANCEL", "Cancelar"},
    {"IDS_ACCEPT_CANCEL", "Deseja realmente cancelar a instalação?"},
    {"IDS_TITLE_INSTALLER", "Instalando a configuração"},
    {"IDS_PREPARECOPY", "Preparando para copiar..."},
    {"IDS_INSTALL_ERROR", "Erro de instalação"},
    {"IDS_ERROR_NOSOURCE", "Arquivo de instalação vxk5.efd não encontrado."},
    {"IDS_ERROR_NOTARGET", "Não há suporte para a instalação de modelos na pasta atual."},
    {"IDS_ERROR_NOSPACE", "Espaço insuficiente na pasta Temp."},
    {"IDS_CHOOSEDIR_FOLDER", "&Pasta:"},
    {"IDS_CHOOSEDIR_TITLE", "Escolher pasta"},
    {"IDR_MAINFRAME", "Instalando a configuração"},
    {"IDS_SETUP_EMPTYTARGET", "Especifique um caminho válido para a pasta de modelos."},
    {"IDS_INSTALL_FINISH", "Cópia concluída..."},
    {"IDS_ERROR_DAMAGEDSOURCE", "O arquivo de instalação vxk5.efd está corrompido ou não se destina a este programa de instalação."},
    {"IDS_DEFPRODUCT", "<Produto>"},
    {"IDS_DEFPROVIDER", "<Fornecedor>"},
    {"IDS_SUCCESS_FINISH", "A configuração foi instalada com êxito."},
    {"IDS_SUCCESS_OPENDESCR", "Abrir a descrição do pacote de instalação"},
    {"IDS_PROGRESS_START", "Copiando arquivos..."},
    {"IDS_ERROR_FINISH", "Ocorreu um erro durante a instalação. A instalação foi cancelada. A pasta de modelos não foi alterada."},
    {"IDS_CANCEL_FINISH", "A instalação foi cancelada. A pasta de modelos não foi alterada."},
    {"IDS_BROWSE_SELDIR", "Pasta selecionada:"},
    {"IDS_BROWSE_OK", "Selecionar"},
    {"IDS_BROWSE_CANCEL", "Cancelar"},
    {"IDS_WELCOME_TITLE", "Bem-vindo ao programa de instalação do produto"},
    {"IDS_SETUP_EXISTEDTARGET", "A pasta de instalação contém arquivos que podem ser alterados durante a instalação. Deseja continuar?"},
    {"IDS_DESTINATION_PROMPT", "Especifique o caminho da pasta de modelos. O programa de instalação instalará os modelos e os arquivos de configuração na pasta especificada."},
    {"IDS_TEMPLATE_CATALOG", "Pasta de modelos:"},
    {"IDS_ERROR_BACKUPKEPT", "Não foi possível restaurar todos os arquivos originais. Os originais estão guardados em:"},
    {"IDS_RECOVERED_INSTALL", "Uma instalação interrompida foi encontrada e limpa. Pasta de modelos:"},
    {"IDS_WAITING_INSTALL", "Aguardando o término de outra instalação nesta pasta..."},
    {"IDS_ERROR_BADTARGET", "Este caminho não pode ser usado como pasta de modelos: não é uma pasta ou não permite gravação."},
    {"IDS_ERROR_NOTRESTORED", "Não foi possível restaurar estes arquivos originais:"},
}};

}  // namespace vxk5
